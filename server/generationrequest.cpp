#include "generationrequest.h"

#include "formbody.h"
#include "standardprompts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvaneServer {

namespace {

std::optional<qint64> parseId(const QString& text) {
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

std::optional<HistoryExchange> exchangeFromJson(const QJsonValue& value, QString* error) {
    const QJsonObject object = value.toObject();
    const QJsonValue presetId = object.value(QLatin1String("preset_id"));
    const QJsonValue command = object.value(QLatin1String("command"));
    const QJsonValue text = object.value(QLatin1String("text"));
    const QJsonValue response = object.value(QLatin1String("response"));
    HistoryExchange exchange;
    if (!value.isObject() || !text.isString() || !response.isString()) {
        *error = QStringLiteral("each history entry needs \"text\" and \"response\" strings");
        return std::nullopt;
    }
    if (presetId.isDouble() && presetId.toDouble() == static_cast<double>(presetId.toInteger())) {
        exchange.presetId = presetId.toInteger();
    } else if (command.isString()) {
        exchange.command = command.toString();
    } else {
        *error =
            QStringLiteral("each history entry needs an integer \"preset_id\" or a \"command\"");
        return std::nullopt;
    }
    exchange.text = text.toString();
    exchange.response = response.toString();
    return exchange;
}

QString turn(const QString& instruction, const QString& text) {
    if (instruction.isEmpty())
        return text;
    if (text.isEmpty())
        return instruction;
    return instruction + QLatin1String("\n\n") + text;
}

} // namespace

qsizetype GenerationInput::inputChars() const {
    qsizetype total = text.size() + command.size();
    for (const HistoryExchange& exchange : history)
        total += exchange.command.size() + exchange.text.size() + exchange.response.size();
    return total;
}

std::optional<GenerationInput> GenerationInput::fromForm(const QByteArray& body, QString* error) {
    const std::optional<QHash<QString, QString>> fields = parseFormBody(body);
    if (!fields) {
        *error = QStringLiteral("the body is not a well-formed form");
        return std::nullopt;
    }
    GenerationInput input;
    const bool hasPreset = fields->contains(QStringLiteral("preset_id"));
    const bool hasCommand = fields->contains(QStringLiteral("command"));
    if (hasPreset == hasCommand) {
        *error = QStringLiteral("send either \"preset_id\" or \"command\"");
        return std::nullopt;
    }
    if (hasPreset) {
        input.presetId = parseId(fields->value(QStringLiteral("preset_id")));
        if (!input.presetId) {
            *error = QStringLiteral("\"preset_id\" must be an integer");
            return std::nullopt;
        }
    } else {
        input.command = fields->value(QStringLiteral("command"));
        if (input.command.trimmed().isEmpty()) {
            *error = QStringLiteral("\"command\" is empty");
            return std::nullopt;
        }
    }
    if (!fields->contains(QStringLiteral("text"))) {
        *error = QStringLiteral("\"text\" is missing");
        return std::nullopt;
    }
    input.text = fields->value(QStringLiteral("text"));
    if (!fields->contains(QStringLiteral("history"))) {
        *error = QStringLiteral("\"history\" is missing");
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument history =
        QJsonDocument::fromJson(fields->value(QStringLiteral("history")).toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !history.isArray()) {
        *error = QStringLiteral("\"history\" must be a JSON array");
        return std::nullopt;
    }
    for (const QJsonValue& entry : history.array()) {
        std::optional<HistoryExchange> exchange = exchangeFromJson(entry, error);
        if (!exchange)
            return std::nullopt;
        input.history.append(std::move(*exchange));
    }
    return input;
}

std::optional<ChatRequest> buildChatRequest(const GenerationInput& input,
                                            const PresetLookup& lookup) {
    ChatRequest request;
    QString systemMessage = commandSystemMessage();
    QString instruction = input.command;
    request.temperature = CommandTemperature;
    if (input.presetId) {
        const std::optional<Preset> preset = lookup(*input.presetId);
        if (!preset)
            return std::nullopt;
        systemMessage = preset->systemMessage;
        instruction = preset->userMessage;
        request.temperature = preset->temperature;
    }
    if (!systemMessage.isEmpty())
        request.messages.append({QStringLiteral("system"), systemMessage});
    for (const HistoryExchange& exchange : input.history) {
        QString earlier = exchange.command;
        // A prompt deleted since keeps its place in the conversation with its text alone.
        if (exchange.presetId) {
            const std::optional<Preset> preset = lookup(*exchange.presetId);
            earlier = preset ? preset->userMessage : QString();
        }
        request.messages.append({QStringLiteral("user"), turn(earlier, exchange.text)});
        request.messages.append({QStringLiteral("assistant"), exchange.response});
    }
    request.messages.append({QStringLiteral("user"), turn(instruction, input.text)});
    return request;
}

} // namespace OrvaneServer
