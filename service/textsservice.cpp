#include "service/textsservice.h"

#include "core/logging.h"
#include "service/endpoint.h"
#include "service/networksession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QStringView>
#include <QTimer>

QJsonObject RequestData::toJson() const {
    QJsonObject json{{QStringLiteral("text"), text}, {QStringLiteral("response"), response}};
    if (presetId)
        json.insert(QStringLiteral("preset_id"), *presetId);
    if (command)
        json.insert(QStringLiteral("command"), *command);
    return json;
}

QString encodeHistory(const QList<RequestData>& history) {
    QJsonArray array;
    for (const RequestData& exchange : history)
        array.append(exchange.toJson());
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

namespace {

bool isKept(char32_t codePoint) {
    switch (QChar::category(codePoint)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return codePoint == U'-' || codePoint == U'.' || codePoint == U'_' || codePoint == U'~' ||
               codePoint == U'/' || codePoint == U'?';
    }
}

} // namespace

std::optional<QString> textsPercentEncode(const QString& text) {
    if (!QStringView(text).isValidUtf16())
        return std::nullopt;
    static constexpr char hex[] = "0123456789ABCDEF";
    QString encoded;
    encoded.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size();) {
        char32_t codePoint = text.at(i).unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(codePoint) && i + 1 < text.size()) {
            codePoint = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        const QStringView character = QStringView(text).mid(i, units);
        if (isKept(codePoint)) {
            encoded += character;
        } else {
            for (const char byte : character.toUtf8()) {
                const auto value = static_cast<unsigned char>(byte);
                encoded += u'%';
                encoded += QLatin1Char(hex[value >> 4]);
                encoded += QLatin1Char(hex[value & 0xF]);
            }
        }
        i += units;
    }
    return encoded;
}

qsizetype incompleteUtf8Tail(const QByteArray& data) {
    // Walk back over at most three continuation bytes to the lead byte.
    for (qsizetype back = 1; back <= 4 && back <= data.size(); ++back) {
        const auto byte = static_cast<unsigned char>(data.at(data.size() - back));
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte
        qsizetype length = 1;
        if ((byte & 0xE0) == 0xC0)
            length = 2;
        else if ((byte & 0xF0) == 0xE0)
            length = 3;
        else if ((byte & 0xF8) == 0xF0)
            length = 4;
        return length > back ? back : 0;
    }
    return 0;
}

QString failureReasonToken(const QByteArray& headerValue) {
    const QByteArray value = headerValue.trimmed();
    if (value.isEmpty() || value.size() > 40)
        return {};
    for (const char c : value) {
        if ((c < 'a' || c > 'z') && c != '-')
            return {};
    }
    return QString::fromLatin1(value);
}

/** The state of one request: what arrived of the answer and how it ended. */
struct TextsService::Stream {
    HTTPRequest request;
    QPointer<QNetworkReply> reply;
    std::optional<int> status;
    bool accepted = false;
    QString reason;     // the service's classified reason for a refusal
    QByteArray pending; // the start of a UTF-8 character whose rest has not arrived
};

TextsService::TextsService(QString token, const ServiceBase& base, QObject* parent)
    : QObject(parent)
    , m_token(std::move(token))
    , m_base(base) {}

TextsService::~TextsService() = default;

void TextsService::sendPreset(qint64 presetId, const QString& text,
                              const QList<RequestData>& history, TextsServiceDelegate* delegate) {
    send(presetId, std::nullopt, text, history, delegate);
}

void TextsService::sendCommand(const QString& command, const QString& text,
                               const QList<RequestData>& history, TextsServiceDelegate* delegate) {
    send(std::nullopt, command, text, history, delegate);
}

void TextsService::send(std::optional<qint64> presetId, const std::optional<QString>& command,
                        const QString& text, const QList<RequestData>& history,
                        TextsServiceDelegate* delegate) {
    m_delegate = delegate;

    const std::optional<QString> encodedText = textsPercentEncode(text);
    const std::optional<QString> encodedHistory = textsPercentEncode(encodeHistory(history));
    std::optional<QString> encodedCommand;
    if (command)
        encodedCommand = textsPercentEncode(*command);
    if (!encodedText || !encodedHistory || (command && !encodedCommand))
        return;

    const TextsEndpoint endpoint =
        presetId ? TextsEndpoint::preset(m_token, *presetId, *encodedText, *encodedHistory, m_base)
                 : TextsEndpoint::command(m_token, *encodedCommand, *encodedText, *encodedHistory,
                                          m_base);
    std::optional<HTTPRequest> request = endpoint.makeRequest();
    if (!request)
        return;

    auto stream = std::make_shared<Stream>();
    stream->request = std::move(*request);

    // Wait for connectivity: while the system reports no network at all, hold the request
    // back instead of letting it fail at once. The loopback service needs no network.
    QNetworkInformation* network = nullptr;
    if (!ServiceBase::isLoopbackHost(m_base.host()) &&
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        network = QNetworkInformation::instance();
    if (network && network->reachability() == QNetworkInformation::Reachability::Disconnected) {
        // A system that wrongly reports no network must not hold the request forever: after
        // the request timeout it goes out anyway and fails or succeeds on its own. The wait
        // ends with its context, which cancelling deletes.
        auto* waiting = new QObject(this);
        auto* patience = new QTimer(waiting);
        patience->setSingleShot(true);
        const auto go = [this, waiting, stream] {
            if (stream->reply)
                return;
            waiting->deleteLater();
            if (m_waiting == waiting)
                m_waiting = nullptr;
            start(stream);
        };
        connect(network, &QNetworkInformation::reachabilityChanged, waiting,
                [go](auto reachability) {
                    if (reachability != QNetworkInformation::Reachability::Disconnected)
                        go();
                });
        connect(patience, &QTimer::timeout, waiting, go);
        patience->start(requestTimeout);
        m_waiting = waiting;
        return;
    }
    start(stream);
}

void TextsService::start(const std::shared_ptr<Stream>& stream) {
    // A custom request: QNetworkAccessManager's POST would add a form Content-Type, and
    // this request goes without one. The thread's session reuses the connection to the
    // service; the reply belongs to this service, so destroying it aborts the answer.
    QNetworkReply* reply =
        networkSession().sendCustomRequest(stream->request.request, stream->request.method,
                                           stream->request.body.value_or(QByteArray()));
    reply->setParent(this);
    stream->reply = reply;
    m_task = reply; // an earlier request keeps running
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, stream] { onMetaData(stream); });
    connect(reply, &QNetworkReply::readyRead, this, [this, stream] { onReadyRead(stream); });
    connect(reply, &QNetworkReply::finished, this, [this, stream] { onFinished(stream); });
}

void TextsService::onMetaData(const std::shared_ptr<Stream>& stream) {
    QNetworkReply* reply = stream->reply;
    if (!reply || stream->status)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    stream->status = status.toInt();
    if (*stream->status >= 200 && *stream->status <= 299) {
        stream->accepted = true;
        return;
    }
    qCCritical(lcApplication, "%d", *stream->status);
    stream->reason = failureReasonToken(reply->rawHeader("X-Orvane-Reason"));
    // The body is never read. Qt ends a reply with an error status (400 and up) by itself,
    // with that error, once the short error body is in; cancelling it here as well makes Qt
    // report the error twice. Anything else is cancelled here.
    if (*stream->status < 400)
        reply->abort();
}

void TextsService::onReadyRead(const std::shared_ptr<Stream>& stream) {
    QNetworkReply* reply = stream->reply;
    if (!reply)
        return;
    if (!stream->status)
        onMetaData(stream);
    if (!stream->accepted)
        return; // a non-2xx body is never read
    QByteArray bytes = stream->pending + reply->readAll();
    const qsizetype tail = incompleteUtf8Tail(bytes);
    stream->pending = bytes.right(tail);
    bytes.chop(tail);
    if (!bytes.isEmpty())
        post(&TextsServiceDelegate::didReceiveText, QString::fromUtf8(bytes));
}

void TextsService::onFinished(const std::shared_ptr<Stream>& stream) {
    QNetworkReply* reply = stream->reply;
    if (!reply)
        return;
    reply->deleteLater();
    if (stream->accepted && reply->bytesAvailable() > 0)
        onReadyRead(stream);
    // Only a length or the last chunk proves the answer whole: a body that simply stops
    // (a proxy that drops the framing, a server that dies) is a cut answer, not a short one.
    const bool framed = reply->hasRawHeader("Content-Length") ||
                        reply->rawHeader("Transfer-Encoding").toLower().contains("chunked");
    // The service sends whole characters: an answer that ends inside one was damaged.
    const bool endsInsideACharacter = !stream->pending.isEmpty();
    if (reply->error() == QNetworkReply::NoError && (framed || !stream->accepted) &&
        !endsInsideACharacter) {
        post(&TextsServiceDelegate::didFinish);
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() == 413) {
        post(&TextsServiceDelegate::didFailPromptTooLong);
        return;
    }
    if (!stream->reason.isEmpty())
        post(&TextsServiceDelegate::didReceiveFailureReason, stream->reason);
    post(&TextsServiceDelegate::didFailGeneric);
    qCInfo(lcApplication, "%s",
           reply->error() != QNetworkReply::NoError ? qUtf8Printable(reply->errorString())
           : endsInsideACharacter                   ? "answer ended inside a character"
                                                    : "answer ended without its end marker");
    post(&TextsServiceDelegate::didFinish);
}

void TextsService::cancel() {
    if (m_waiting) {
        // Cancelled before it could go out: it ends as a cancelled request does.
        m_waiting->deleteLater();
        m_waiting = nullptr;
        post(&TextsServiceDelegate::didFailGeneric);
        qCInfo(lcApplication, "Operation canceled");
        post(&TextsServiceDelegate::didFinish);
        return;
    }
    if (m_task)
        m_task->abort();
}
