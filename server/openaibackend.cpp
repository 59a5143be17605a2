#include "openaibackend.h"

#include "httpstreamclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvaneServer {

namespace {

class OpenAiStream : public ModelStream {
public:
    OpenAiStream(QUrl endpoint, QList<QPair<QByteArray, QByteArray>> headers, QByteArray body,
                 int idleTimeoutMs)
        : m_client(this)
        , m_endpoint(std::move(endpoint))
        , m_headers(std::move(headers))
        , m_body(std::move(body)) {
        m_client.setIdleTimeout(idleTimeoutMs);
        connect(&m_client, &HttpStreamClient::responseStarted, this, [this](int status) {
            if (status >= 200 && status < 300) {
                m_opened = true;
                Q_EMIT opened();
            }
        });
        connect(&m_client, &HttpStreamClient::bodyData, this, &OpenAiStream::onData);
        connect(&m_client, &HttpStreamClient::finished, this, &OpenAiStream::onEnd);
        connect(&m_client, &HttpStreamClient::failed, this,
                [this](const QString& reason, bool) { finishWithFailure(reason); });
    }

    void start() override { m_client.post(m_endpoint, m_headers, m_body); }

    void cancel() override {
        m_done = true;
        m_client.cancel();
    }

private:
    void onData(const QByteArray& data) {
        if (m_done)
            return;
        if (!m_opened) {
            // An error answer: keep a little of it for the reason.
            if (m_errorBody.size() < 2048)
                m_errorBody += data.left(2048);
            return;
        }
        QStringList pieces;
        const ChatEventParser::Outcome outcome = m_parser.feed(data, &pieces);
        for (const QString& piece : std::as_const(pieces)) {
            if (m_done)
                return;
            Q_EMIT text(piece);
        }
        if (outcome == ChatEventParser::Outcome::Done)
            finishWithSuccess();
        else if (outcome == ChatEventParser::Outcome::Error)
            finishWithFailure(QStringLiteral("the model server reported an error: ") +
                              m_parser.errorMessage());
    }

    void onEnd() {
        if (m_done)
            return;
        if (!m_opened)
            return finishWithFailure(errorReason());
        // Servers that omit [DONE] still mark the last event with a finish reason.
        if (m_parser.sawFinishReason())
            finishWithSuccess();
        else
            finishWithFailure(QStringLiteral("the model server ended the answer early"));
    }

    QString errorReason() const {
        QString message;
        const QJsonObject error =
            QJsonDocument::fromJson(m_errorBody).object().value(QLatin1String("error")).toObject();
        message = error.value(QLatin1String("message")).toString();
        return QStringLiteral("the model server answered HTTP %1%2")
            .arg(m_client.status())
            .arg(message.isEmpty() ? QString() : QLatin1String(": ") + message.left(300));
    }

    void finishWithSuccess() {
        m_done = true;
        m_client.cancel();
        Q_EMIT completed();
    }

    void finishWithFailure(const QString& reason) {
        if (m_done)
            return;
        m_done = true;
        m_client.cancel();
        Q_EMIT failed(reason, m_opened);
    }

    HttpStreamClient m_client;
    ChatEventParser m_parser;
    QUrl m_endpoint;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    QByteArray m_body;
    QByteArray m_errorBody;
    bool m_opened = false;
    bool m_done = false;
};

} // namespace

OpenAiBackend::OpenAiBackend(QUrl baseUrl, QString model, QString apiKey, int idleTimeoutMs)
    : m_model(std::move(model))
    , m_apiKey(std::move(apiKey))
    , m_idleTimeoutMs(idleTimeoutMs) {
    QString path = baseUrl.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    baseUrl.setPath(path + QLatin1String("/chat/completions"));
    m_endpoint = baseUrl;
}

QByteArray OpenAiBackend::requestBody(const ChatRequest& request) const {
    QJsonArray messages;
    for (const ChatMessage& message : request.messages)
        messages.append(QJsonObject{{QStringLiteral("role"), message.role},
                                    {QStringLiteral("content"), message.content}});
    return QJsonDocument(QJsonObject{{QStringLiteral("model"), m_model},
                                     {QStringLiteral("messages"), messages},
                                     {QStringLiteral("temperature"), request.temperature},
                                     {QStringLiteral("stream"), true}})
        .toJson(QJsonDocument::Compact);
}

std::unique_ptr<ModelStream> OpenAiBackend::open(const ChatRequest& request) {
    QList<QPair<QByteArray, QByteArray>> headers = {{"Content-Type", "application/json"},
                                                    {"Accept", "text/event-stream"}};
    if (!m_apiKey.isEmpty())
        headers.append({"Authorization", "Bearer " + m_apiKey.toUtf8()});
    return std::make_unique<OpenAiStream>(m_endpoint, headers, requestBody(request),
                                          m_idleTimeoutMs);
}

ChatEventParser::Outcome ChatEventParser::feed(const QByteArray& data, QStringList* pieces) {
    m_buffer += data;
    qsizetype lineEnd = 0;
    while ((lineEnd = m_buffer.indexOf('\n')) >= 0) {
        QByteArray line = m_buffer.left(lineEnd);
        m_buffer.remove(0, lineEnd + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const Outcome outcome = handleLine(line, pieces);
        if (outcome != Outcome::More)
            return outcome;
    }
    return Outcome::More;
}

ChatEventParser::Outcome ChatEventParser::handleLine(const QByteArray& line, QStringList* pieces) {
    if (!line.startsWith("data:"))
        return Outcome::More; // blank separators, comments, "event:" and "id:" lines
    const QByteArray payload = line.mid(5).trimmed();
    if (payload == "[DONE]")
        return Outcome::Done;
    const QJsonObject event = QJsonDocument::fromJson(payload).object();
    if (event.contains(QLatin1String("error"))) {
        const QJsonValue error = event.value(QLatin1String("error"));
        m_error = error.isObject() ? error.toObject().value(QLatin1String("message")).toString()
                                   : error.toString();
        return Outcome::Error;
    }
    const QJsonArray choices = event.value(QLatin1String("choices")).toArray();
    const QJsonObject choice = choices.isEmpty() ? QJsonObject() : choices.at(0).toObject();
    const QJsonValue content =
        choice.value(QLatin1String("delta")).toObject().value(QLatin1String("content"));
    if (content.isString() && !content.toString().isEmpty())
        pieces->append(content.toString());
    if (choice.value(QLatin1String("finish_reason")).isString())
        m_finishReason = true;
    return Outcome::More;
}

} // namespace OrvaneServer
