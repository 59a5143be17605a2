#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class JsonDecoder;

/** One prompt as the service sends and receives it; every key required and always written. */
struct PresetDto {
    static constexpr const char* typeName = "PresetDto";

    /** The prompt's hotkey in the hotkey text form; may be empty. Carried as opaque text. */
    QString hotkey;
    qint64 id = 0;
    QString name;
    /** A standard prompt of the service rather than the user's own. */
    bool global = false;
    double temperature = 0;
    QString systemMessage;
    QString userMessage;
    bool enabledByDefault = false;

    /** What a failed create or update returns: empty texts, id -1, false, 0. */
    static PresetDto blank();

    static std::optional<PresetDto> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;

    friend bool operator==(const PresetDto&, const PresetDto&) = default;
};

/** Hash over all eight fields, matching equality. */
size_t qHash(const PresetDto& preset, size_t seed = 0);

/** The list answer: {"data": [PresetDto]}. One bad element fails the whole list. */
struct PresetsDataDto {
    static constexpr const char* typeName = "PresetsDataDto";
    QList<PresetDto> data;

    static std::optional<PresetsDataDto> decode(JsonDecoder& decoder);
};

/** The create and update body: {"preset": PresetDto}. Encoded only. */
struct PresetsCreateUpdateDto {
    PresetDto preset;

    [[nodiscard]] QJsonObject toJson() const;
};

/** The create and update answer: {"data": PresetDto}. */
struct PresetsCreateUpdateDataDto {
    static constexpr const char* typeName = "PresetsCreateUpdateDataDto";
    PresetDto data;

    static std::optional<PresetsCreateUpdateDataDto> decode(JsonDecoder& decoder);
};
