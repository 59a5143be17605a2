#include "presetrepository.h"

#include "database.h"

#include <QDateTime>
#include <QJsonValue>
#include <QSqlError>

#include <cmath>

namespace OrvaneServer {

namespace {

constexpr qsizetype MaxNameChars = 200;
constexpr qsizetype MaxMessageChars = 20000;
constexpr qsizetype MaxHotkeyChars = 100;

const QString Columns = QStringLiteral(
    "id, user_id, name, system_message, user_message, temperature, hotkey, enabled_by_default");

Preset fromRow(const QSqlQuery& query) {
    Preset preset;
    preset.id = query.value(0).toLongLong();
    if (!query.value(1).isNull())
        preset.ownerId = query.value(1).toLongLong();
    preset.name = query.value(2).toString();
    preset.systemMessage = query.value(3).toString();
    preset.userMessage = query.value(4).toString();
    preset.temperature = query.value(5).toDouble();
    preset.hotkey = query.value(6).toString();
    preset.enabledByDefault = query.value(7).toInt() != 0;
    return preset;
}

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

} // namespace

QJsonObject Preset::toJson() const {
    return {
        {QStringLiteral("hotkey"), hotkey},
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("global"), isGlobal()},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("system_message"), systemMessage},
        {QStringLiteral("user_message"), userMessage},
        {QStringLiteral("enabled_by_default"), enabledByDefault},
    };
}

std::optional<Preset> Preset::fromClientJson(const QJsonObject& object, QString* error) {
    const auto text = [&](const char* key, qsizetype limit, QString* target) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString()) {
            *error = QStringLiteral("\"%1\" must be a string").arg(QLatin1String(key));
            return false;
        }
        if (!isStorableText(value.toString())) {
            *error = QStringLiteral("\"%1\" holds a NUL or an unpaired surrogate")
                         .arg(QLatin1String(key));
            return false;
        }
        if (value.toString().size() > limit) {
            *error = QStringLiteral("\"%1\" is longer than %2 characters")
                         .arg(QLatin1String(key))
                         .arg(limit);
            return false;
        }
        *target = value.toString();
        return true;
    };
    Preset preset;
    if (!text("name", MaxNameChars, &preset.name) ||
        !text("system_message", MaxMessageChars, &preset.systemMessage) ||
        !text("user_message", MaxMessageChars, &preset.userMessage) ||
        !text("hotkey", MaxHotkeyChars, &preset.hotkey))
        return std::nullopt;
    const QJsonValue temperature = object.value(QLatin1String("temperature"));
    if (!temperature.isDouble() || !std::isfinite(temperature.toDouble()) ||
        temperature.toDouble() < 0 || temperature.toDouble() > 2) {
        *error = QStringLiteral("\"temperature\" must be a number from 0 to 2");
        return std::nullopt;
    }
    preset.temperature = temperature.toDouble();
    const QJsonValue enabled = object.value(QLatin1String("enabled_by_default"));
    if (!enabled.isBool()) {
        *error = QStringLiteral("\"enabled_by_default\" must be true or false");
        return std::nullopt;
    }
    preset.enabledByDefault = enabled.toBool();
    return preset;
}

PresetRepository::PresetRepository(const Database& database)
    : m_database(database) {}

std::vector<Preset> PresetRepository::listFor(qint64 userId) {
    std::vector<Preset> presets;
    QSqlQuery query = m_database.exec(
        QStringLiteral("SELECT %1 FROM presets WHERE user_id IS NULL OR user_id = ?"
                       " ORDER BY CASE WHEN user_id IS NULL THEN 0 ELSE 1 END, position, id")
            .arg(Columns),
        {userId});
    while (query.next())
        presets.push_back(fromRow(query));
    return presets;
}

std::optional<Preset> PresetRepository::find(qint64 id) {
    QSqlQuery query =
        m_database.exec(QStringLiteral("SELECT %1 FROM presets WHERE id = ?").arg(Columns), {id});
    if (!query.next())
        return std::nullopt;
    return fromRow(query);
}

std::optional<Preset> PresetRepository::create(qint64 ownerId, const Preset& preset) {
    Preset created = preset;
    created.ownerId = ownerId;
    const bool stored = m_database.write([&] {
        QSqlQuery query = m_database.exec(
            QStringLiteral("INSERT INTO presets (user_id, position, name, system_message,"
                           " user_message, temperature, hotkey, enabled_by_default, created_at)"
                           " VALUES (?, 0, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
            {ownerId, preset.name, preset.systemMessage, preset.userMessage, preset.temperature,
             preset.hotkey, preset.enabledByDefault ? 1 : 0, now()});
        if (!query.next())
            return false;
        created.id = query.value(0).toLongLong();
        return true;
    });
    return stored ? std::optional<Preset>(created) : std::nullopt;
}

bool PresetRepository::update(qint64 id, const Preset& preset) {
    return m_database.write([&] {
        return !m_database
                    .exec(QStringLiteral(
                              "UPDATE presets SET name = ?, system_message = ?, user_message = ?,"
                              " temperature = ?, hotkey = ?, enabled_by_default = ? WHERE id = ?"),
                          {preset.name, preset.systemMessage, preset.userMessage,
                           preset.temperature, preset.hotkey, preset.enabledByDefault ? 1 : 0, id})
                    .lastError()
                    .isValid();
    });
}

bool PresetRepository::remove(qint64 id) {
    return m_database.write([&] {
        return !m_database.exec(QStringLiteral("DELETE FROM presets WHERE id = ?"), {id})
                    .lastError()
                    .isValid();
    });
}

bool isStorableText(const QString& text) {
    return QStringView(text).isValidUtf16() && !text.contains(QChar(0));
}

bool storeReport(const Database& database, std::optional<qint64> userId, const QString& body) {
    return database.write([&] {
        return !database
                    .exec(QStringLiteral(
                              "INSERT INTO reports (user_id, body, created_at) VALUES (?, ?, ?)"),
                          {userId ? QVariant(*userId) : QVariant(QMetaType::fromType<qlonglong>()),
                           body, now()})
                    .lastError()
                    .isValid();
    });
}

} // namespace OrvaneServer
