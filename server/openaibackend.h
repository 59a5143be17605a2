#pragma once

#include "modelbackend.h"

#include <QUrl>

#include <optional>

namespace OrvaneServer {

/**
 * Chat completions with streaming from any OpenAI-compatible server (OpenAI,
 * Ollama, llama.cpp's server, vLLM): POST {base}/chat/completions with
 * "stream": true, answered with server-sent events.
 */
class OpenAiBackend : public ModelBackend {
public:
    OpenAiBackend(QUrl baseUrl, QString model, QString apiKey, int idleTimeoutMs);

    std::unique_ptr<ModelStream> open(const ChatRequest& request) override;

    /** Every request gets this temperature instead of its prompt's; see omitTemperature. */
    void setTemperature(std::optional<double> temperature) { m_temperature = temperature; }
    /** Sends no temperature at all, for models that accept only their default. */
    void omitTemperature() { m_omitTemperature = true; }

    /** The JSON body sent for a request. */
    [[nodiscard]] QByteArray requestBody(const ChatRequest& request) const;

private:
    QUrl m_endpoint;
    QString m_model;
    QString m_apiKey;
    int m_idleTimeoutMs;
    std::optional<double> m_temperature;
    bool m_omitTemperature = false;
};

/**
 * The message of an error body in the shapes model servers use: {"error":{"message"}},
 * {"error":"..."}, {"object":"error","message"}, {"detail": text or [{"msg"}]}. Empty when
 * there is none.
 */
[[nodiscard]] QString errorMessageOf(const QByteArray& body);

/** The ModelFailure kind of a refusal with this HTTP status and error message. */
[[nodiscard]] QByteArray classifyRefusal(int status, const QString& message);

/**
 * Splits server-sent events into the text pieces of a chat-completion stream. Lines end
 * at LF, CRLF or CR; the data lines of one event are joined with LF. Every way a server
 * reports a failure inside the stream (an "error" field or event, an error object at the
 * top or in the choice, finish_reason "error", data that is not JSON) is an Error.
 */
class ChatEventParser {
public:
    enum class Outcome { More, Done, Error };
    /** A longer line or event is an error rather than memory held for a runaway server. */
    static constexpr qsizetype MaxEventBytes = 1024 * 1024;

    /** Feeds body bytes; appends text pieces to pieces. */
    Outcome feed(const QByteArray& data, QStringList* pieces);
    /** The body ended: a last event without its blank line still counts. */
    Outcome finish(QStringList* pieces);
    [[nodiscard]] bool sawFinishReason() const { return m_finishReason; }
    [[nodiscard]] QString errorMessage() const { return m_error; }

private:
    Outcome handleLine(QByteArrayView line, QStringList* pieces);
    Outcome dispatch(QStringList* pieces);
    Outcome error(const QString& message);

    QByteArray m_buffer;
    QByteArray m_data;
    QByteArray m_eventType;
    bool m_hasData = false;
    bool m_skipLineFeed = false;
    bool m_finishReason = false;
    QString m_error;
};

} // namespace OrvaneServer
