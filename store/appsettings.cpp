#include "store/appsettings.h"

#include "core/jsondecoder.h"
#include "core/settingsstore.h"

#include <QJsonArray>
#include <QJsonDocument>

std::optional<UserSettings> UserSettings::decode(JsonDecoder& decoder) {
    if (decoder.object().value(QStringLiteral("user")).isNull() ||
        !decoder.object().contains(QStringLiteral("user")))
        return UserSettings{};
    JsonDecoder nested = decoder.nested(QStringLiteral("user"));
    auto user = User::decode(nested);
    decoder.absorb(nested);
    if (!decoder.ok())
        return std::nullopt;
    return UserSettings{user};
}

QJsonObject UserSettings::toJson() const {
    QJsonObject json;
    if (user)
        json.insert(QStringLiteral("user"), user->toJson());
    return json;
}

std::optional<PresetsSettings> PresetsSettings::decode(JsonDecoder& decoder) {
    const QJsonArray ids = decoder.array(QStringLiteral("presetIds"));
    PresetsSettings settings;
    for (qsizetype i = 0; decoder.ok() && i < ids.size(); ++i) {
        const auto id = JsonDecoder::wholeNumber(ids.at(i));
        if (!id)
            decoder.fail(QStringLiteral("typeMismatch: presetIds[%1] is not an integer").arg(i));
        else
            settings.presetIds.append(*id);
    }
    if (!decoder.ok())
        return std::nullopt;
    return settings;
}

QJsonObject PresetsSettings::toJson() const {
    QJsonArray ids;
    for (const qint64 id : presetIds)
        ids.append(id);
    return {{QStringLiteral("presetIds"), ids}};
}

std::optional<PreferencesSettings> PreferencesSettings::decode(JsonDecoder& decoder) {
    PreferencesSettings settings;
    settings.windowHotkey = decoder.optionalString(QStringLiteral("windowHotkey"));
    if (!decoder.ok())
        return std::nullopt;
    return settings;
}

QJsonObject PreferencesSettings::toJson() const {
    QJsonObject json;
    if (windowHotkey)
        json.insert(QStringLiteral("windowHotkey"), *windowHotkey);
    return json;
}

std::optional<ReviewSettings> ReviewSettings::decode(JsonDecoder& decoder) {
    ReviewSettings settings;
    const QJsonObject byId = decoder.object().value(QStringLiteral("showChanges")).toObject();
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        bool isNumber = false;
        const qint64 id = it.key().toLongLong(&isNumber);
        if (!isNumber || !it.value().isBool()) {
            decoder.fail(QStringLiteral("typeMismatch: showChanges.%1").arg(it.key()));
            return std::nullopt;
        }
        settings.showChanges.insert(id, it.value().toBool());
    }
    return settings;
}

QJsonObject ReviewSettings::toJson() const {
    QJsonObject byId;
    for (auto it = showChanges.begin(); it != showChanges.end(); ++it)
        byId.insert(QString::number(it.key()), it.value());
    return {{QStringLiteral("showChanges"), byId}};
}

template <typename Record>
Record UserDefault<Record>::read() const {
    const QVariant stored = openSettingsStore()->value(key);
    // Only a data blob counts; a string or number under the key is not converted.
    if (stored.typeId() != QMetaType::QByteArray)
        return defaultValue;
    JsonDecoder decoder = JsonDecoder::fromJson(stored.toByteArray(), key);
    const std::optional<Record> record = decoder.ok() ? Record::decode(decoder) : std::nullopt;
    if (!record) {
        writeToStandardOutput(decoder.error());
        return defaultValue;
    }
    return *record;
}

template <typename Record>
void UserDefault<Record>::write(const Record& record) const {
    const QByteArray json = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
    auto store = openSettingsStore();
    store->setValue(key, json);
    store->sync();
}

template struct UserDefault<UserSettings>;
template struct UserDefault<PresetsSettings>;
template struct UserDefault<PreferencesSettings>;
template struct UserDefault<ReviewSettings>;

AppSettings::AppSettings(QObject* parent)
    : QObject(parent)
    , m_userSettings{QStringLiteral("UserSettings"), UserSettings{}}
    , m_presetsSettings{QStringLiteral("PresetsEnabledIds"), PresetsSettings{}}
    , m_preferencesSettings{QStringLiteral("PreferencesSettings"),
                            PreferencesSettings{defaultWindowHotkey}} {}

void AppSettings::setUserSettings(const UserSettings& value) {
    m_userSettings.write(value);
    Q_EMIT objectDidChange();
}

void AppSettings::setPresetsSettings(const PresetsSettings& value) {
    m_presetsSettings.write(value);
    Q_EMIT objectDidChange();
}

void AppSettings::setPreferencesSettings(const PreferencesSettings& value) {
    m_preferencesSettings.write(value);
    Q_EMIT objectDidChange();
}
