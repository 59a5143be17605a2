#pragma once

#include "service/textsservice.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

/** Builds the texts service of one generation for the given device key. */
using TextsServiceFactory =
    std::function<std::unique_ptr<TextsServiceProtocol>(const QString& token)>;

/**
 * One widget conversation: the exchanges so far, sent back as context, the generation
 * running now, and the request that "regenerate" repeats.
 */
class Conversation {
public:
    /** What an exchange starts from: a prompt or a typed command. */
    struct Request {
        std::optional<qint64> presetId;
        std::optional<QString> command;
        friend bool operator==(const Request&, const Request&) = default;
    };

    explicit Conversation(TextsServiceFactory makeTextsService)
        : m_makeTextsService(std::move(makeTextsService)) {}

    /** Starts request on text with the history so far; a generation still running is dropped. */
    void start(const Request& request, const QString& text, const QString& token,
               TextsServiceDelegate* delegate);
    /** The running generation's answer is complete: it joins the history. */
    void finish(const QString& response);
    /** The user stopped the running generation: regenerate may repeat it. */
    void stop();
    /** The running generation failed: there is nothing to repeat. */
    void fail() {
        m_current.reset();
        m_regenerating = false;
    }
    /** Drops the last exchange and returns the request to run again, if there is one. */
    [[nodiscard]] std::optional<Request> regenerate();
    void dropLastExchange();
    void clear() { m_history.clear(); }

    [[nodiscard]] const QList<RequestData>& history() const { return m_history; }
    /** What regenerate repeats. */
    [[nodiscard]] const std::optional<Request>& last() const { return m_last; }

private:
    TextsServiceFactory m_makeTextsService;
    std::unique_ptr<TextsServiceProtocol> m_service;
    QList<RequestData> m_history;
    std::optional<Request> m_current;
    QString m_currentText;
    std::optional<Request> m_last;
    bool m_regenerating = false;
};
