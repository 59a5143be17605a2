#include "standardprompts.h"

#include "database.h"

#include <QDateTime>
#include <QSqlError>

namespace OrvaneServer {

namespace {

struct StandardPrompt {
    const char* name;
    const char* systemMessage;
    const char* userMessage;
    double temperature;
    const char* hotkey;
    bool enabledByDefault;
};

constexpr const char* KeepFormat =
    " Answer with the resulting text only: no preamble, no quotes, no explanations."
    " Keep the language of the text unless told otherwise, and keep its line breaks,"
    " lists and markup.";

const StandardPrompt Prompts[] = {
    {"Fix spelling and grammar",
     "You are a meticulous copy editor. You correct spelling, grammar and punctuation"
     " and change nothing else: not the wording, not the tone, not the meaning.",
     "Correct the spelling, grammar and punctuation of the following text.", 0.2,
     "command+option+g", true},
    {"Rewrite",
     "You are a skilled editor who rewrites text so that it reads clearly and naturally"
     " while saying exactly the same thing.",
     "Rewrite the following text so that it reads more clearly.", 0.7, "command+option+r", true},
    {"Make shorter",
     "You are an editor who makes texts concise. You remove repetition, filler and"
     " needless words but keep every fact and the author's voice.",
     "Make the following text shorter, roughly half its length.", 0.5, "", true},
    {"Make longer",
     "You are a writer who develops texts. You add useful detail, examples and"
     " transitions in the author's voice without inventing facts.",
     "Expand the following text, roughly doubling its length.", 0.8, "", false},
    {"Make professional",
     "You are a communications expert. You turn text into clear, courteous and"
     " professional writing suitable for work email and documents.",
     "Rewrite the following text in a professional tone.", 0.5, "command+option+p", true},
    {"Make friendly",
     "You are a warm and personable writer. You make text sound friendly and"
     " approachable while staying sincere.",
     "Rewrite the following text in a friendly, casual tone.", 0.7, "", false},
    {"Summarize",
     "You are an analyst who writes accurate summaries that keep the key points,"
     " decisions and numbers of the original.",
     "Summarize the following text in a few sentences.", 0.3, "command+option+s", true},
    {"Translate to English",
     "You are a professional translator. You translate faithfully and idiomatically,"
     " keeping names, numbers and formatting.",
     "Translate the following text into English. If it is already English, translate"
     " it into Spanish.",
     0.3, "", false},
};

} // namespace

QString commandSystemMessage() {
    return QStringLiteral(
               "You are a writing assistant. The user gives you an instruction and, after it,"
               " the text it applies to. Carry out the instruction on the text.") +
           QLatin1String(KeepFormat);
}

bool seedStandardPrompts(const Database& database, QString* error) {
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    int position = 0;
    for (const StandardPrompt& prompt : Prompts) {
        QSqlQuery query = database.exec(
            QStringLiteral("INSERT INTO presets (user_id, position, name, system_message,"
                           " user_message, temperature, hotkey, enabled_by_default, created_at)"
                           " VALUES (NULL, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {position++, QString::fromUtf8(prompt.name),
             QString(QString::fromUtf8(prompt.systemMessage) + QLatin1String(KeepFormat)),
             QString::fromUtf8(prompt.userMessage), prompt.temperature,
             QString::fromUtf8(prompt.hotkey), prompt.enabledByDefault ? 1 : 0, now});
        if (query.lastError().isValid()) {
            *error = query.lastError().text();
            return false;
        }
    }
    return true;
}

} // namespace OrvaneServer
