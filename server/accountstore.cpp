#include "accountstore.h"

#include "database.h"
#include "secrets.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>

namespace OrvaneServer {

namespace {

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

} // namespace

AccountStore::AccountStore(const Database& database)
    : m_database(database) {}

QString AccountStore::normalizeEmail(const QString& email) {
    return email.trimmed().toLower();
}

bool AccountStore::isPlausibleEmail(const QString& email) {
    static const QRegularExpression pattern(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    return email.size() <= 254 && pattern.match(email).hasMatch();
}

std::optional<UserRecord> AccountStore::createUser(const QString& email, const QString& password,
                                                   CreateError* error) {
    if (findByEmail(email)) {
        if (error)
            *error = CreateError::EmailTaken;
        return std::nullopt;
    }
    return createUserWithHash(email, Secrets::hashPassword(password), error);
}

std::optional<UserRecord>
AccountStore::createUserWithHash(const QString& email, const QString& hash, CreateError* error) {
    if (hash.isEmpty()) {
        if (error)
            *error = CreateError::StorageFailed;
        return std::nullopt;
    }
    qint64 id = 0;
    const bool stored = m_database.write([&] {
        QSqlQuery query = m_database.exec(
            QStringLiteral("INSERT INTO users (email, password_hash, created_at) VALUES (?, ?, ?)"
                           " RETURNING id"),
            {email, hash, now()});
        if (!query.next())
            return false;
        id = query.value(0).toLongLong();
        return true;
    });
    if (!stored) {
        // A concurrent sign-up with the same email loses on the unique index.
        if (error)
            *error = findByEmail(email) ? CreateError::EmailTaken : CreateError::StorageFailed;
        return std::nullopt;
    }
    return UserRecord{id, email};
}

std::optional<std::pair<UserRecord, QString>> AccountStore::credentialsFor(const QString& email) {
    QSqlQuery query = m_database.exec(
        QStringLiteral("SELECT id, email, password_hash FROM users WHERE email = ?"), {email});
    if (!query.next())
        return std::nullopt;
    return std::pair{UserRecord{query.value(0).toLongLong(), query.value(1).toString()},
                     query.value(2).toString()};
}

std::optional<UserRecord> AccountStore::verifyCredentials(const QString& email,
                                                          const QString& password) {
    const auto credentials = credentialsFor(email);
    if (!credentials) {
        Secrets::verifyAgainstDummy(password);
        return std::nullopt;
    }
    if (!Secrets::verifyPassword(password, credentials->second))
        return std::nullopt;
    return credentials->first;
}

std::optional<UserRecord> AccountStore::findByEmail(const QString& email) {
    QSqlQuery query =
        m_database.exec(QStringLiteral("SELECT id, email FROM users WHERE email = ?"), {email});
    if (!query.next())
        return std::nullopt;
    return UserRecord{query.value(0).toLongLong(), query.value(1).toString()};
}

std::vector<UserRecord> AccountStore::listUsers() {
    std::vector<UserRecord> users;
    QSqlQuery query = m_database.exec(QStringLiteral("SELECT id, email FROM users ORDER BY id"));
    while (query.next())
        users.push_back({query.value(0).toLongLong(), query.value(1).toString()});
    return users;
}

QString AccountStore::createDevice(qint64 userId) {
    const QString key = Secrets::newDeviceKey();
    const bool stored = m_database.write([&] {
        return !m_database
                    .exec(QStringLiteral("INSERT INTO devices (user_id, key_hash, created_at)"
                                         " VALUES (?, ?, ?)"),
                          {userId, Secrets::deviceKeyHash(key.toLatin1()), now()})
                    .lastError()
                    .isValid();
    });
    return stored ? key : QString();
}

std::optional<UserRecord> AccountStore::userForDeviceKey(const QByteArray& key) {
    if (key.isEmpty())
        return std::nullopt;
    QSqlQuery query =
        m_database.exec(QStringLiteral("SELECT users.id, users.email FROM devices JOIN users"
                                       " ON users.id = devices.user_id WHERE devices.key_hash = ?"),
                        {Secrets::deviceKeyHash(key)});
    if (!query.next())
        return std::nullopt;
    return UserRecord{query.value(0).toLongLong(), query.value(1).toString()};
}

bool AccountStore::hasDeviceWithHash(const QString& hash) {
    return m_database.exec(QStringLiteral("SELECT 1 FROM devices WHERE key_hash = ?"), {hash})
        .next();
}

bool AccountStore::revokeDevice(const QByteArray& key) {
    bool revoked = false;
    const bool stored = m_database.write([&] {
        QSqlQuery query = m_database.exec(QStringLiteral("DELETE FROM devices WHERE key_hash = ?"),
                                          {Secrets::deviceKeyHash(key)});
        revoked = query.numRowsAffected() > 0;
        return !query.lastError().isValid();
    });
    return stored && revoked;
}

} // namespace OrvaneServer
