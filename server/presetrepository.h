#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace OrvaneServer {

class Database;

/** A prompt: standard (no owner) or a user's own. */
struct Preset {
    qint64 id = 0;
    std::optional<qint64> ownerId;
    QString name;
    QString systemMessage;
    QString userMessage;
    double temperature = 0.7;
    QString hotkey;
    bool enabledByDefault = false;

    [[nodiscard]] bool isGlobal() const { return !ownerId.has_value(); }
    /** The wire record with its eight keys. */
    [[nodiscard]] QJsonObject toJson() const;
    /**
     * Reads the changeable fields of a client record; "id" and "global" are
     * ignored. Empty with a reason in error when a field is missing or mistyped.
     */
    static std::optional<Preset> fromClientJson(const QJsonObject& object, QString* error);
};

class PresetRepository {
public:
    explicit PresetRepository(const Database& database);

    /** Standard prompts in their fixed order, then the user's own in creation order. */
    std::vector<Preset> listFor(qint64 userId);
    std::optional<Preset> find(qint64 id);
    std::optional<Preset> create(qint64 ownerId, const Preset& preset);
    bool update(qint64 id, const Preset& preset);
    bool remove(qint64 id);

private:
    const Database& m_database;
};

/** Problem reports sent from the support page. */
/** Text that can be stored as it is: valid UTF-16 (no lone surrogate) without NUL. */
[[nodiscard]] bool isStorableText(const QString& text);

bool storeReport(const Database& database, std::optional<qint64> userId, const QString& body);

} // namespace OrvaneServer
