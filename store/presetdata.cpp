#include "store/presetdata.h"

#include "core/jsondecoder.h"

PresetData::PresetData(PresetDto record, bool isEnabled, bool isActive)
    : id(record.id)
    , preset(std::move(record))
    , enabled(isEnabled)
    , active(isActive) {}

std::optional<PresetData> PresetData::decode(JsonDecoder& decoder) {
    const qint64 id = decoder.integer(QStringLiteral("id"));
    JsonDecoder nested = decoder.nested(QStringLiteral("preset"));
    auto preset = PresetDto::decode(nested);
    decoder.absorb(nested);
    const bool enabled = decoder.boolean(QStringLiteral("enabled"));
    const bool active = decoder.boolean(QStringLiteral("active"));
    if (!decoder.ok() || !preset)
        return std::nullopt;
    PresetData entry(*preset, enabled, active);
    entry.id = id;
    return entry;
}

QJsonObject PresetData::toJson() const {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("preset"), preset.toJson()},
            {QStringLiteral("enabled"), enabled},
            {QStringLiteral("active"), active}};
}
