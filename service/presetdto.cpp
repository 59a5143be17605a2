#include "service/presetdto.h"

#include "core/jsondecoder.h"

#include <QHashFunctions>

PresetDto PresetDto::blank() {
    PresetDto dto;
    dto.id = -1;
    return dto;
}

std::optional<PresetDto> PresetDto::decode(JsonDecoder& decoder) {
    PresetDto dto;
    dto.hotkey = decoder.string(QStringLiteral("hotkey"));
    dto.id = decoder.integer(QStringLiteral("id"));
    dto.name = decoder.string(QStringLiteral("name"));
    dto.global = decoder.boolean(QStringLiteral("global"));
    dto.temperature = decoder.number(QStringLiteral("temperature"));
    dto.systemMessage = decoder.string(QStringLiteral("system_message"));
    dto.userMessage = decoder.string(QStringLiteral("user_message"));
    dto.enabledByDefault = decoder.boolean(QStringLiteral("enabled_by_default"));
    if (!decoder.ok())
        return std::nullopt;
    return dto;
}

QJsonObject PresetDto::toJson() const {
    return {{QStringLiteral("hotkey"), hotkey},
            {QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("global"), global},
            {QStringLiteral("temperature"), temperature},
            {QStringLiteral("system_message"), systemMessage},
            {QStringLiteral("user_message"), userMessage},
            {QStringLiteral("enabled_by_default"), enabledByDefault}};
}

size_t qHash(const PresetDto& preset, size_t seed) {
    return qHashMulti(seed, preset.hotkey, preset.id, preset.name, preset.global,
                      preset.temperature, preset.systemMessage, preset.userMessage,
                      preset.enabledByDefault);
}

std::optional<PresetsDataDto> PresetsDataDto::decode(JsonDecoder& decoder) {
    const QJsonArray items = decoder.array(QStringLiteral("data"));
    PresetsDataDto dto;
    for (qsizetype i = 0; decoder.ok() && i < items.size(); ++i) {
        const QString path = QStringLiteral("data[%1]").arg(i);
        if (!items.at(i).isObject()) {
            decoder.fail(QStringLiteral("typeMismatch: \"%1\" is not an object").arg(path));
            break;
        }
        JsonDecoder element(items.at(i).toObject(), path);
        const auto preset = PresetDto::decode(element);
        decoder.absorb(element);
        if (preset)
            dto.data.append(*preset);
    }
    if (!decoder.ok())
        return std::nullopt;
    return dto;
}

QJsonObject PresetsCreateUpdateDto::toJson() const {
    return {{QStringLiteral("preset"), preset.toJson()}};
}

std::optional<PresetsCreateUpdateDataDto> PresetsCreateUpdateDataDto::decode(JsonDecoder& decoder) {
    JsonDecoder data = decoder.nested(QStringLiteral("data"));
    std::optional<PresetDto> preset;
    if (data.ok())
        preset = PresetDto::decode(data);
    decoder.absorb(data);
    if (!decoder.ok() || !preset)
        return std::nullopt;
    return PresetsCreateUpdateDataDto{*preset};
}
