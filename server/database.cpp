#include "database.h"

#include "standardprompts.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QUrl>
#include <QUuid>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcDatabase, "orvane.database")

namespace {

// Column types that read the same on SQLite and PostgreSQL; only the key differs.
QString schemaV1(bool postgres) {
    const QString key = postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                 : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    return QStringLiteral("CREATE TABLE users ("
                          " id %1,"
                          " email VARCHAR(254) NOT NULL UNIQUE,"
                          " password_hash VARCHAR(255) NOT NULL,"
                          " created_at VARCHAR(32) NOT NULL);"
                          "CREATE TABLE devices ("
                          " id %1,"
                          " user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
                          " key_hash CHAR(64) NOT NULL UNIQUE,"
                          " created_at VARCHAR(32) NOT NULL);"
                          "CREATE INDEX devices_user ON devices(user_id);"
                          "CREATE TABLE presets ("
                          " id %1,"
                          " user_id BIGINT REFERENCES users(id) ON DELETE CASCADE,"
                          " position INTEGER NOT NULL,"
                          " name VARCHAR(200) NOT NULL,"
                          " system_message TEXT NOT NULL,"
                          " user_message TEXT NOT NULL,"
                          " temperature DOUBLE PRECISION NOT NULL,"
                          " hotkey VARCHAR(100) NOT NULL,"
                          " enabled_by_default INTEGER NOT NULL,"
                          " created_at VARCHAR(32) NOT NULL);"
                          "CREATE INDEX presets_user ON presets(user_id);"
                          "CREATE TABLE reports ("
                          " id %1,"
                          " user_id BIGINT REFERENCES users(id) ON DELETE SET NULL,"
                          " body TEXT NOT NULL,"
                          " created_at VARCHAR(32) NOT NULL);")
        .arg(key);
}

} // namespace

Database::Database(QString baseName, bool postgres)
    : m_baseName(std::move(baseName))
    , m_postgres(postgres)
    , m_openingThread(QThread::currentThread()) {}

std::optional<Database> Database::open(const QString& url, QString* error) {
    const QString baseName =
        QStringLiteral("orvane-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const bool postgres = !url.startsWith(QLatin1String("sqlite:"));
    QSqlDatabase db;
    if (postgres) {
        const QUrl parsed(url);
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), baseName);
        db.setHostName(parsed.host());
        db.setPort(parsed.port(5432));
        db.setUserName(parsed.userName());
        db.setPassword(parsed.password());
        db.setDatabaseName(parsed.path().mid(1));
    } else {
        const QString path = url.mid(7);
        if (path.isEmpty()) {
            *error = QStringLiteral("the sqlite: URL names no file");
            return std::nullopt;
        }
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            *error = QStringLiteral("cannot create the directory of %1").arg(path);
            return std::nullopt;
        }
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), baseName);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQL driver for this database is not installed");
        return std::nullopt;
    }
    if (!db.open()) {
        *error = QStringLiteral("cannot open the database: %1").arg(db.lastError().text());
        return std::nullopt;
    }
    Database database(baseName, postgres);
    if (!postgres)
        database.m_path = QFileInfo(url.mid(7)).absoluteFilePath();
    if (!postgres) {
        database.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        database.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    }
    if (!database.migrate(error))
        return std::nullopt;
    return database;
}

QSqlDatabase Database::connection() const {
    if (QThread::currentThread() == m_openingThread)
        return QSqlDatabase::database(m_baseName, false);
    const QString name = m_baseName + QLatin1Char('-') +
                         QString::number(reinterpret_cast<quintptr>(QThread::currentThread()));
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);
    QSqlDatabase clone = QSqlDatabase::cloneDatabase(m_baseName, name);
    if (clone.open() && !m_postgres)
        QSqlQuery(QStringLiteral("PRAGMA foreign_keys = ON"), clone);
    return clone;
}

QSqlQuery Database::exec(const QString& sql, const QVariantList& values) const {
    QSqlQuery query(connection());
    query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        qCWarning(lcDatabase).noquote() << "statement failed:" << query.lastError().text();
    return query;
}

bool Database::listen(const QString& channel, QObject* context,
                      std::function<void(const QString& payload)> handler) const {
    QSqlDriver* driver = connection().driver();
    if (!m_postgres || !driver || !driver->subscribeToNotification(channel))
        return false;
    QObject::connect(driver, &QSqlDriver::notification, context,
                     [channel, handler = std::move(handler)](const QString& name,
                                                             QSqlDriver::NotificationSource,
                                                             const QVariant& payload) {
                         if (name == channel)
                             handler(payload.toString());
                     });
    return true;
}

bool Database::notify(const QString& channel, const QString& payload) const {
    if (!m_postgres)
        return false;
    return !exec(QStringLiteral("SELECT pg_notify(?, ?)"), {channel, payload})
                .lastError()
                .isValid();
}

int Database::schemaVersion() const {
    QSqlQuery query = exec(QStringLiteral("SELECT version FROM schema_version"));
    return query.next() ? query.value(0).toInt() : 0;
}

bool Database::write(const std::function<bool()>& body) const {
    QSqlDatabase db = connection();
    if (!db.transaction()) {
        qCWarning(lcDatabase).noquote() << "cannot start a write:" << db.lastError().text();
        return false;
    }
    if (body() && db.commit()) {
        m_lastWriteFailed->store(false);
        return true;
    }
    qCWarning(lcDatabase).noquote() << "write not stored:" << db.lastError().text();
    db.rollback();
    m_lastWriteFailed->store(true);
    return false;
}

bool Database::isWritable() const {
    if (!m_path.isEmpty() && !QFileInfo::exists(m_path))
        return false;
    // The probe writes one page, where a user's write may need more: a failed write stays
    // reported until a write of the service's own goes through again.
    const bool failedBefore = m_lastWriteFailed->load();
    const bool probed = write([this] {
        return !exec(QStringLiteral("UPDATE schema_version SET version = version"))
                    .lastError()
                    .isValid();
    });
    if (failedBefore)
        m_lastWriteFailed->store(true);
    return probed && !failedBefore;
}

bool Database::isReachable() const {
    QSqlQuery query(connection());
    return query.exec(QStringLiteral("SELECT 1")) && query.next();
}

bool Database::migrate(QString* error) const {
    QSqlDatabase db = connection();
    if (!db.tables().contains(QStringLiteral("schema_version")))
        QSqlQuery(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"), db);
    const int current = schemaVersion();
    if (current > LatestVersion) {
        *error = QStringLiteral("the database has schema version %1, newer than this service (%2)")
                     .arg(current)
                     .arg(LatestVersion);
        return false;
    }
    for (int version = current + 1; version <= LatestVersion; ++version) {
        if (!db.transaction()) {
            *error = QStringLiteral("cannot start a transaction: %1").arg(db.lastError().text());
            return false;
        }
        QStringList statements;
        if (version == 1)
            statements = schemaV1(m_postgres).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        bool ok = true;
        for (const QString& statement : std::as_const(statements)) {
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                *error = QStringLiteral("migration %1 failed: %2")
                             .arg(version)
                             .arg(query.lastError().text());
                ok = false;
                break;
            }
        }
        if (ok && version == 2)
            ok = seedStandardPrompts(*this, error);
        if (ok) {
            QSqlQuery query(db);
            ok = query.exec(
                version == 1
                    ? QStringLiteral("INSERT INTO schema_version VALUES (1)")
                    : QStringLiteral("UPDATE schema_version SET version = %1").arg(version));
            if (!ok)
                *error = query.lastError().text();
        }
        if (!ok || !db.commit()) {
            db.rollback();
            if (error->isEmpty())
                *error = QStringLiteral("migration %1 could not be committed").arg(version);
            return false;
        }
        qCInfo(lcDatabase) << "schema migrated to version" << version;
    }
    return true;
}

} // namespace OrvaneServer
