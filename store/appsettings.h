#pragma once

#include "store/user.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

/** The signed-in user, stored as {"user": {...}} or {} when nobody is signed in. */
struct UserSettings {
    std::optional<User> user;

    static std::optional<UserSettings> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;
    friend bool operator==(const UserSettings&, const UserSettings&) = default;
};

/** Identifiers of the enabled prompts, {"presetIds": [...]}; the member is required. */
struct PresetsSettings {
    QList<qint64> presetIds;

    static std::optional<PresetsSettings> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;
    friend bool operator==(const PresetsSettings&, const PresetsSettings&) = default;
};

/** The widget hotkey in the hotkey text form, {"windowHotkey": "command+option+c"}. */
struct PreferencesSettings {
    std::optional<QString> windowHotkey;

    static std::optional<PreferencesSettings> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;
    friend bool operator==(const PreferencesSettings&, const PreferencesSettings&) = default;
};

/** Per prompt id, whether its complete answers open on their changes: {"showChanges": {"12":
 * true}}. */
struct ReviewSettings {
    QHash<qint64, bool> showChanges;

    static std::optional<ReviewSettings> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;
    friend bool operator==(const ReviewSettings&, const ReviewSettings&) = default;
};

/**
 * One persisted record: a JSON blob stored as bytes under key. Anything that is not
 * a decodable blob reads as the default; decode failures are reported on standard
 * output, never to the caller.
 */
template <typename Record>
struct UserDefault {
    QString key;
    Record defaultValue;

    [[nodiscard]] Record read() const;
    void write(const Record& record) const;
};

/** The application's own persisted state, read and written through on every access. */
class AppSettingsProtocol {
public:
    virtual ~AppSettingsProtocol() = default;

    [[nodiscard]] virtual UserSettings userSettings() const = 0;
    virtual void setUserSettings(const UserSettings& value) = 0;
    [[nodiscard]] virtual PresetsSettings presetsSettings() const = 0;
    virtual void setPresetsSettings(const PresetsSettings& value) = 0;
    [[nodiscard]] virtual PreferencesSettings preferencesSettings() const = 0;
    virtual void setPreferencesSettings(const PreferencesSettings& value) = 0;
};

class AppSettings final : public QObject, public AppSettingsProtocol {
    Q_OBJECT

public:
    explicit AppSettings(QObject* parent = nullptr);

    static inline const QString defaultWindowHotkey = QStringLiteral("command+option+c");

    UserSettings userSettings() const override { return m_userSettings.read(); }
    void setUserSettings(const UserSettings& value) override;
    PresetsSettings presetsSettings() const override { return m_presetsSettings.read(); }
    void setPresetsSettings(const PresetsSettings& value) override;
    PreferencesSettings preferencesSettings() const override {
        return m_preferencesSettings.read();
    }
    void setPreferencesSettings(const PreferencesSettings& value) override;

Q_SIGNALS:
    /** Sent after every write, on the writing thread. */
    void objectDidChange();

private:
    UserDefault<UserSettings> m_userSettings;
    UserDefault<PresetsSettings> m_presetsSettings;
    UserDefault<PreferencesSettings> m_preferencesSettings;
};
