#pragma once

#include "modelbackend.h"

#include <QUrl>

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

    /** The JSON body sent for a request. */
    [[nodiscard]] QByteArray requestBody(const ChatRequest& request) const;

private:
    QUrl m_endpoint;
    QString m_model;
    QString m_apiKey;
    int m_idleTimeoutMs;
};

/** Splits server-sent events into the text pieces of a chat-completion stream. */
class ChatEventParser {
public:
    enum class Outcome { More, Done, Error };

    /** Feeds body bytes; appends text pieces to pieces. */
    Outcome feed(const QByteArray& data, QStringList* pieces);
    [[nodiscard]] bool sawFinishReason() const { return m_finishReason; }
    [[nodiscard]] QString errorMessage() const { return m_error; }

private:
    Outcome handleLine(const QByteArray& line, QStringList* pieces);

    QByteArray m_buffer;
    bool m_finishReason = false;
    QString m_error;
};

} // namespace OrvaneServer
