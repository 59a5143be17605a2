#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace OrvaneServer {

/**
 * The service's storage. Each thread that touches it gets a connection of its
 * own, cloned from the one opened at start. Opening applies every pending
 * schema migration, each in a transaction of its own.
 */
class Database {
public:
    /** Opens the database named by a sqlite:PATH or postgresql:// URL and migrates it. */
    static std::optional<Database> open(const QString& url, QString* error);

    /** The connection of the calling thread. */
    [[nodiscard]] QSqlDatabase connection() const;

    [[nodiscard]] bool isPostgres() const { return m_postgres; }
    [[nodiscard]] int schemaVersion() const;
    [[nodiscard]] bool isReachable() const;

    /**
     * Runs body in a transaction of its own. True only when body returned true and the
     * commit went through; otherwise everything is rolled back and the failure logged.
     * SQLite reports a full disk or a read-only file only at the commit.
     */
    bool write(const std::function<bool()>& body) const;
    /** Whether a write would go through now: the file is there and takes a write. */
    [[nodiscard]] bool isWritable() const;

    /** Prepares and runs one statement; placeholders are bound in order. */
    QSqlQuery exec(const QString& sql, const QVariantList& values = {}) const;

    /**
     * PostgreSQL only: calls handler with the payload of every NOTIFY on channel, the
     * ones this instance sends included. False when the database cannot do that.
     */
    bool listen(const QString& channel, QObject* context,
                std::function<void(const QString& payload)> handler) const;
    /** Sends payload to every instance listening on channel; false when it could not. */
    bool notify(const QString& channel, const QString& payload) const;

    static constexpr int LatestVersion = 2;

private:
    Database(QString baseName, bool postgres);
    bool migrate(QString* error) const;

    QString m_baseName;
    QString m_path; // the SQLite file, empty for PostgreSQL
    std::shared_ptr<std::atomic<bool>> m_lastWriteFailed = std::make_shared<std::atomic<bool>>();
    bool m_postgres = false;
    QThread* m_openingThread = nullptr;
};

} // namespace OrvaneServer
