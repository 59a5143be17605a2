#include "service/endpoint.h"

QByteArray rawValue(HTTPMethod method) {
    switch (method) {
    case HTTPMethod::delete_:
        return QByteArrayLiteral("DELETE");
    case HTTPMethod::get:
        return QByteArrayLiteral("GET");
    case HTTPMethod::patch:
        return QByteArrayLiteral("PATCH");
    case HTTPMethod::post:
        return QByteArrayLiteral("POST");
    case HTTPMethod::put:
        return QByteArrayLiteral("PUT");
    }
    return {};
}

QByteArray ServiceHeaders::bearer(const QString& token) {
    return QByteArrayLiteral("Bearer ") + token.toUtf8();
}

Endpoint::Headers Endpoint::standardPair(const QString& token) {
    return {{ServiceHeaders::contentType, ServiceHeaders::jsonMediaType},
            {ServiceHeaders::authorization, ServiceHeaders::bearer(token)}};
}

std::optional<HTTPRequest> Endpoint::makeRequest() const {
    const QUrl url = ServiceBase::compose(scheme(), host(), port(), path(), queryItems());
    if (!url.isValid())
        return std::nullopt;

    QNetworkRequest request(url);
    // The protocol's default cache policy; the timeout counts from the last transfer.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::PreferNetwork);
    request.setTransferTimeout(static_cast<int>(requestTimeout.count()));
    if (const auto fields = headers()) {
        for (auto it = fields->cbegin(); it != fields->cend(); ++it)
            request.setRawHeader(it.key(), it.value());
    }
    return HTTPRequest{request, rawValue(method()), body()};
}

LogoutEndpoint::LogoutEndpoint(QString token, const ServiceBase& base)
    : Endpoint(base)
    , m_token(std::move(token)) {}

LogoutEndpoint LogoutEndpoint::remove(QString token, const ServiceBase& base) {
    return {std::move(token), base};
}

UserEndpoint::UserEndpoint(QString token, const ServiceBase& base)
    : Endpoint(base)
    , m_token(std::move(token)) {}

UserEndpoint UserEndpoint::show(QString token, const ServiceBase& base) {
    return {std::move(token), base};
}

PresetsEndpoint::PresetsEndpoint(Case endpointCase, QString token, qint64 id,
                                 std::optional<QByteArray> body, const ServiceBase& base)
    : Endpoint(base)
    , m_case(endpointCase)
    , m_token(std::move(token))
    , m_id(id)
    , m_body(std::move(body)) {}

PresetsEndpoint PresetsEndpoint::presets(QString token, const ServiceBase& base) {
    return {Case::presets, std::move(token), 0, std::nullopt, base};
}

PresetsEndpoint PresetsEndpoint::create(QString token, QByteArray body, const ServiceBase& base) {
    return {Case::create, std::move(token), 0, std::move(body), base};
}

PresetsEndpoint PresetsEndpoint::update(QString token, qint64 id, QByteArray body,
                                        const ServiceBase& base) {
    return {Case::update, std::move(token), id, std::move(body), base};
}

PresetsEndpoint PresetsEndpoint::remove(QString token, qint64 id, const ServiceBase& base) {
    return {Case::remove, std::move(token), id, std::nullopt, base};
}

QString PresetsEndpoint::path() const {
    switch (m_case) {
    case Case::presets:
    case Case::create:
        return QStringLiteral("/api/0/presets");
    case Case::update:
    case Case::remove:
        return QStringLiteral("/api/0/presets/") + QString::number(m_id);
    }
    return {};
}

HTTPMethod PresetsEndpoint::method() const {
    switch (m_case) {
    case Case::presets:
        return HTTPMethod::get;
    case Case::create:
        return HTTPMethod::post;
    case Case::update:
        return HTTPMethod::put;
    case Case::remove:
        return HTTPMethod::delete_;
    }
    return HTTPMethod::get;
}

TextsEndpoint::TextsEndpoint(Case endpointCase, QString token, qint64 presetId, QString command,
                             QString text, QString history, const ServiceBase& base)
    : Endpoint(base)
    , m_case(endpointCase)
    , m_token(std::move(token))
    , m_presetId(presetId)
    , m_command(std::move(command))
    , m_text(std::move(text))
    , m_history(std::move(history)) {}

TextsEndpoint TextsEndpoint::preset(QString token, qint64 presetId, QString encodedText,
                                    QString encodedHistory, const ServiceBase& base) {
    return {Case::preset,           std::move(token),          presetId, QString(),
            std::move(encodedText), std::move(encodedHistory), base};
}

TextsEndpoint TextsEndpoint::command(QString token, QString encodedCommand, QString encodedText,
                                     QString encodedHistory, const ServiceBase& base) {
    return {Case::command,          std::move(token),          0,   std::move(encodedCommand),
            std::move(encodedText), std::move(encodedHistory), base};
}

std::optional<Endpoint::Headers> TextsEndpoint::headers() const {
    return Headers{{ServiceHeaders::authorization, ServiceHeaders::bearer(m_token)}};
}

std::optional<QByteArray> TextsEndpoint::body() const {
    QString form;
    if (m_case == Case::preset)
        form = u"preset_id=" + QString::number(m_presetId);
    else
        form = u"command=" + m_command;
    form += u"&text=" + m_text + u"&history=" + m_history;
    return form.toUtf8();
}
