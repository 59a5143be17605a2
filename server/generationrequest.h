#pragma once

#include "presetrepository.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace OrvaneServer {

/** One earlier exchange of a widget conversation. */
struct HistoryExchange {
    std::optional<qint64> presetId;
    QString command;
    QString text;
    QString response;
};

/** What the application asks for: a prompt or a command, the text and the history. */
struct GenerationInput {
    std::optional<qint64> presetId;
    QString command;
    QString text;
    QList<HistoryExchange> history;

    /** Characters that count against the input limit: text plus everything in the history. */
    [[nodiscard]] qsizetype inputChars() const;
    /** Reads the form body; empty with a reason in error when a field is missing or malformed. */
    static std::optional<GenerationInput> fromForm(const QByteArray& body, QString* error);
};

struct ChatMessage {
    QString role;
    QString content;

    bool operator==(const ChatMessage&) const = default;
};

struct ChatRequest {
    QList<ChatMessage> messages;
    double temperature = 0;
};

using PresetLookup = std::function<std::optional<Preset>(qint64 id)>;

/**
 * The messages for the model: the system message, each history exchange as a
 * user and an assistant turn, then the current turn. Empty when the current
 * prompt is unknown to lookup.
 */
std::optional<ChatRequest> buildChatRequest(const GenerationInput& input,
                                            const PresetLookup& lookup);

} // namespace OrvaneServer
