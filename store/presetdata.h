#pragma once

#include "service/presetdto.h"

#include <QJsonObject>

#include <optional>

class JsonDecoder;

/** One prompt in memory: its record and whether the widget offers it. Equal by id. */
class PresetData {
public:
    PresetData(PresetDto preset, bool enabled, bool active = false);

    qint64 id;
    PresetDto preset;
    bool enabled;
    /** Kept and coded; nothing reads it. */
    bool active;

    static std::optional<PresetData> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;

    friend bool operator==(const PresetData& a, const PresetData& b) { return a.id == b.id; }
};

inline size_t qHash(const PresetData& entry, size_t seed = 0) {
    return ::qHash(entry.id, seed);
}
