#include "service/basenetworkclient.h"

#include "service/networksession.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTimer>

BaseNetworkClient::BaseNetworkClient(ServiceBase base)
    : m_base(std::move(base))
    , m_context(std::make_unique<QObject>()) {}

BaseNetworkClient::~BaseNetworkClient() = default;

NetworkError BaseNetworkClient::mapStatusForDecoding(int status) {
    switch (status) {
    case 403:
        return NetworkError::forbidden;
    case 401:
        return NetworkError::unauthorised;
    case 400:
        return NetworkError::badRequest;
    default:
        return NetworkError::unexpected;
    }
}

NetworkError BaseNetworkClient::mapStatusWithoutResponse(int status) {
    switch (status) {
    case 401:
        return NetworkError::unauthorised;
    case 400:
        return NetworkError::badRequest;
    default:
        return NetworkError::unexpected;
    }
}

std::optional<HTTPRequest> BaseNetworkClient::prepare(const Endpoint& endpoint) {
    std::optional<HTTPRequest> prepared = endpoint.makeRequest();
    if (!prepared)
        return std::nullopt;
    QNetworkRequest& request = prepared->request;
    // The session-wide header: a request's own header of the same name wins.
    if (!request.hasRawHeader(ServiceHeaders::contentType))
        request.setRawHeader(ServiceHeaders::contentType, ServiceHeaders::jsonMediaType);
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        request.setRawHeader(ServiceHeaders::appVersion, version.toUtf8());
    return prepared;
}

namespace {

/** Whether a reply's error only reflects its HTTP status, so that the status decides. */
bool isStatusError(QNetworkReply::NetworkError error) {
    if (error == QNetworkReply::NoError)
        return true;
    // 2xx-4xx codes of QNetworkReply mirror HTTP statuses; everything below is the
    // transport (connection, TLS, timeout, cancellation, proxy).
    return error >= QNetworkReply::ContentAccessDenied && error != QNetworkReply::ProtocolFailure;
}

} // namespace

void BaseNetworkClient::send(const Endpoint& endpoint,
                             std::function<void(const Outcome&)> completion) {
    const std::optional<HTTPRequest> prepared = prepare(endpoint);
    if (!prepared) {
        // Asynchronous like every other outcome; dropped with the client.
        QTimer::singleShot(0, m_context.get(), [completion = std::move(completion)] {
            completion(Outcome{NetworkError::invalidUrl, std::nullopt, {}});
        });
        return;
    }

    QNetworkAccessManager& session = networkSession();
    QNetworkReply* reply =
        prepared->body
            ? session.sendCustomRequest(prepared->request, prepared->method, *prepared->body)
            : session.sendCustomRequest(prepared->request, prepared->method);
    // Owned by the client: destroying the client aborts the request.
    reply->setParent(m_context.get());
    QObject::connect(reply, &QNetworkReply::finished, m_context.get(),
                     [reply, completion = std::move(completion)] {
                         reply->deleteLater();
                         const QVariant status =
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                         Outcome outcome;
                         if (!isStatusError(reply->error()))
                             outcome.error = NetworkError::unknown;
                         else if (!status.isValid())
                             outcome.error = NetworkError::noResponse;
                         else {
                             outcome.status = status.toInt();
                             outcome.body = reply->readAll();
                         }
                         completion(outcome);
                     });
}

void BaseNetworkClient::sendRequestWithoutResponse(
    const Endpoint& endpoint, std::function<void(NetworkResult<bool>)> completion) {
    send(endpoint, [completion = std::move(completion)](const Outcome& outcome) {
        if (outcome.error)
            completion(*outcome.error);
        else if (*outcome.status >= 200 && *outcome.status <= 299)
            completion(true);
        else
            completion(mapStatusWithoutResponse(*outcome.status));
    });
}
