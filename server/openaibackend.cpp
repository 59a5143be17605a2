#include "openaibackend.h"

#include "httpstreamclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

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
                [this](const QString& reason, bool started) {
                    // No answer at all: the server could not be reached or talked to.
                    finishWithFailure(reason,
                                      started ? ModelFailure::Failed : ModelFailure::Unreachable);
                });
    }

    void start() override { m_client.post(m_endpoint, m_headers, m_body); }

    void cancel() override {
        m_done = true;
        m_client.cancel();
    }

    void setPaused(bool paused) override { m_client.setPaused(paused); }

private:
    void onData(const QByteArray& data) {
        if (m_done)
            return;
        if (!m_opened) {
            // An error answer: keep a little of it for the reason.
            if (m_errorBody.size() < 4096)
                m_errorBody += data.left(4096);
            return;
        }
        QStringList pieces;
        handle(m_parser.feed(data, &pieces), pieces);
    }

    void onEnd() {
        if (m_done)
            return;
        if (!m_opened) {
            const QString message = errorMessageOf(m_errorBody);
            return finishWithFailure(
                QStringLiteral("the model server answered HTTP %1%2")
                    .arg(m_client.status())
                    .arg(message.isEmpty() ? QString() : QLatin1String(": ") + message),
                classifyRefusal(m_client.status(), message));
        }
        QStringList pieces;
        if (handle(m_parser.finish(&pieces), pieces))
            return;
        // Servers that omit [DONE] still mark the last event with a finish reason.
        if (m_parser.sawFinishReason())
            finishWithSuccess();
        else
            finishWithFailure(QStringLiteral("the model server ended the answer early"),
                              ModelFailure::Failed);
    }

    /** Passes the pieces on; true when the outcome ended the stream. */
    bool handle(ChatEventParser::Outcome outcome, const QStringList& pieces) {
        for (const QString& piece : pieces) {
            if (m_done)
                return true;
            Q_EMIT text(piece);
        }
        if (outcome == ChatEventParser::Outcome::Done)
            finishWithSuccess();
        else if (outcome == ChatEventParser::Outcome::Error)
            finishWithFailure(QStringLiteral("the model server reported an error: ") +
                                  m_parser.errorMessage(),
                              ModelFailure::Failed);
        return m_done;
    }

    void finishWithSuccess() {
        m_done = true;
        m_client.cancel();
        Q_EMIT completed();
    }

    void finishWithFailure(const QString& reason, const char* kind) {
        if (m_done)
            return;
        m_done = true;
        m_client.cancel();
        Q_EMIT failed(reason, QByteArray(kind), m_opened);
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

QString messageOfValue(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isArray()) {
        // FastAPI's validation errors: [{"loc": [...], "msg": "..."}]
        QStringList messages;
        for (const QJsonValue& entry : value.toArray())
            messages.append(messageOfValue(entry));
        messages.removeAll(QString());
        return messages.join(QLatin1String("; "));
    }
    if (!value.isObject())
        return {};
    const QJsonObject object = value.toObject();
    for (const char* key : {"message", "msg", "detail", "error"}) {
        const QString message = messageOfValue(object.value(QLatin1String(key)));
        if (!message.isEmpty())
            return message;
    }
    return {};
}

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
    QJsonObject body{{QStringLiteral("model"), m_model},
                     {QStringLiteral("messages"), messages},
                     {QStringLiteral("stream"), true}};
    if (!m_omitTemperature)
        body.insert(QStringLiteral("temperature"), m_temperature.value_or(request.temperature));
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

std::unique_ptr<ModelStream> OpenAiBackend::open(const ChatRequest& request) {
    QList<QPair<QByteArray, QByteArray>> headers = {{"Content-Type", "application/json"},
                                                    {"Accept", "text/event-stream"}};
    if (!m_apiKey.isEmpty())
        headers.append({"Authorization", "Bearer " + m_apiKey.toUtf8()});
    return std::make_unique<OpenAiStream>(m_endpoint, headers, requestBody(request),
                                          m_idleTimeoutMs);
}

QString errorMessageOf(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isNull())
        return QString::fromUtf8(body).simplified().left(300);
    return messageOfValue(document.isArray() ? QJsonValue(document.array())
                                             : QJsonValue(document.object()))
        .left(300);
}

QByteArray classifyRefusal(int status, const QString& message) {
    const QString lower = message.toLower();
    if (status == 401 || status == 403)
        return ModelFailure::Unauthorized;
    static const QStringList tooLong = {
        QStringLiteral("context length"),  QStringLiteral("context_length"),
        QStringLiteral("context window"),  QStringLiteral("too many tokens"),
        QStringLiteral("maximum context"), QStringLiteral("too long")};
    if (status == 413 || std::any_of(tooLong.begin(), tooLong.end(),
                                     [&](const QString& phrase) { return lower.contains(phrase); }))
        return ModelFailure::InputTooLong;
    if (status == 404 || (lower.contains(QLatin1String("model")) &&
                          (lower.contains(QLatin1String("not found")) ||
                           lower.contains(QLatin1String("does not exist")))))
        return ModelFailure::NotFound;
    return ModelFailure::Failed;
}

ChatEventParser::Outcome ChatEventParser::feed(const QByteArray& data, QStringList* pieces) {
    m_buffer += data;
    qsizetype start = 0;
    Outcome outcome = Outcome::More;
    while (outcome == Outcome::More) {
        // A CR that ended the previous line may be followed by the LF of a CRLF.
        if (m_skipLineFeed && start < m_buffer.size()) {
            m_skipLineFeed = false;
            if (m_buffer.at(start) == '\n')
                ++start;
        }
        qsizetype end = start;
        while (end < m_buffer.size() && m_buffer.at(end) != '\n' && m_buffer.at(end) != '\r')
            ++end;
        if (end == m_buffer.size())
            break;
        const QByteArrayView line(m_buffer.constData() + start, end - start);
        if (m_buffer.at(end) == '\r') {
            if (end + 1 < m_buffer.size())
                end += m_buffer.at(end + 1) == '\n' ? 1 : 0;
            else
                m_skipLineFeed = true;
        }
        start = end + 1;
        outcome = handleLine(line, pieces);
    }
    m_buffer.remove(0, start);
    if (outcome == Outcome::More && m_buffer.size() > MaxEventBytes)
        return error(QStringLiteral("the model server sent an oversized line"));
    return outcome;
}

ChatEventParser::Outcome ChatEventParser::finish(QStringList* pieces) {
    Outcome outcome = Outcome::More;
    if (!m_buffer.isEmpty())
        outcome = handleLine(std::exchange(m_buffer, {}), pieces);
    return outcome == Outcome::More ? dispatch(pieces) : outcome;
}

ChatEventParser::Outcome ChatEventParser::handleLine(QByteArrayView line, QStringList* pieces) {
    if (line.isEmpty())
        return dispatch(pieces);
    if (line.startsWith(':'))
        return Outcome::More; // a comment
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView field = colon < 0 ? line : line.first(colon);
    QByteArrayView value = colon < 0 ? QByteArrayView() : line.sliced(colon + 1);
    if (value.startsWith(' '))
        value = value.sliced(1);
    if (field == "data") {
        if (m_hasData)
            m_data += '\n';
        m_data += value;
        m_hasData = true;
        if (m_data.size() > MaxEventBytes)
            return error(QStringLiteral("the model server sent an oversized event"));
    } else if (field == "event") {
        m_eventType = value.toByteArray();
    } else if (field == "error") {
        // Older llama.cpp servers report a failure as a field of its own, then say [DONE].
        const QString message = errorMessageOf(value.toByteArray());
        return error(message.isEmpty() ? QStringLiteral("an error line") : message);
    }
    return Outcome::More; // "id:", "retry:" and unknown fields
}

ChatEventParser::Outcome ChatEventParser::dispatch(QStringList* pieces) {
    const QByteArray type = std::exchange(m_eventType, {});
    const QByteArray data = std::exchange(m_data, {});
    const bool hadData = std::exchange(m_hasData, false);
    if (type == "error")
        return error(hadData ? errorMessageOf(data) : QStringLiteral("an error event"));
    if (!hadData)
        return Outcome::More;
    if (data.trimmed() == "[DONE]")
        return Outcome::Done;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return error(QStringLiteral("the model server sent an event that is not a JSON object"));
    const QJsonObject event = document.object();
    const QJsonValue topError = event.value(QLatin1String("error"));
    if (!topError.isUndefined() && !topError.isNull())
        return error(messageOfValue(topError));
    const QJsonArray choices = event.value(QLatin1String("choices")).toArray();
    const QJsonObject choice = choices.isEmpty() ? QJsonObject() : choices.at(0).toObject();
    const QJsonValue choiceError = choice.value(QLatin1String("error"));
    if (!choiceError.isUndefined() && !choiceError.isNull())
        return error(messageOfValue(choiceError));
    const QJsonValue content =
        choice.value(QLatin1String("delta")).toObject().value(QLatin1String("content"));
    if (content.isString() && !content.toString().isEmpty())
        pieces->append(content.toString());
    const QJsonValue finishReason = choice.value(QLatin1String("finish_reason"));
    if (finishReason.toString() == QLatin1String("error"))
        return error(QStringLiteral("the answer finished with an error"));
    if (finishReason.isString())
        m_finishReason = true;
    return Outcome::More;
}

ChatEventParser::Outcome ChatEventParser::error(const QString& message) {
    m_error = message.isEmpty() ? QStringLiteral("no message") : message.left(300);
    return Outcome::Error;
}

} // namespace OrvaneServer
