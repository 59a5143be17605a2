#include "widget/conversation.h"

void Conversation::start(const Request& request, const QString& text, const QString& token,
                         TextsServiceDelegate* delegate) {
    if (!m_regenerating)
        m_last.reset();
    m_current = request;
    m_currentText = text;
    // Replacing the service drops its generation: it tells its delegate nothing more.
    m_service = m_makeTextsService(token);
    if (request.presetId)
        m_service->sendPreset(*request.presetId, text, m_history, delegate);
    else
        m_service->sendCommand(request.command.value_or(QString()), text, m_history, delegate);
}

void Conversation::finish(const QString& response) {
    if (!m_current)
        return;
    m_history.append(RequestData{m_current->presetId, m_current->command, m_currentText, response});
    m_last = std::exchange(m_current, std::nullopt);
    m_regenerating = false;
}

void Conversation::stop() {
    if (m_current && !m_regenerating)
        m_last = m_current;
    m_current.reset();
    m_regenerating = false;
    if (m_service)
        m_service->cancel();
}

std::optional<Conversation::Request> Conversation::regenerate() {
    if (!m_last)
        return std::nullopt;
    dropLastExchange();
    m_regenerating = true;
    return m_last;
}

void Conversation::dropLastExchange() {
    if (!m_history.isEmpty())
        m_history.removeLast();
}
