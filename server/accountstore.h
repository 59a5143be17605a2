#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace OrvaneServer {

class Database;

struct UserRecord {
    qint64 id = 0;
    QString email;
};

/** Users and their devices. Passwords are kept as Argon2id hashes, device keys as SHA-256. */
class AccountStore {
public:
    explicit AccountStore(const Database& database);

    enum class CreateError { EmailTaken, StorageFailed };
    /** Creates a user; email is expected normalised (see normalizeEmail). */
    std::optional<UserRecord> createUser(const QString& email, const QString& password,
                                         CreateError* error = nullptr);
    /** The user when email and password match; spends the same time when the email is unknown. */
    std::optional<UserRecord> verifyCredentials(const QString& email, const QString& password);
    std::optional<UserRecord> findByEmail(const QString& email);
    /** The user and the stored password hash, for checking a password off the event loop. */
    std::optional<std::pair<UserRecord, QString>> credentialsFor(const QString& email);
    /** Creates a user whose password has already been hashed. */
    std::optional<UserRecord> createUserWithHash(const QString& email, const QString& hash,
                                                 CreateError* error = nullptr);
    std::vector<UserRecord> listUsers();

    /** A new device key for the user; only its hash is stored. Empty on failure. */
    QString createDevice(qint64 userId);
    std::optional<UserRecord> userForDeviceKey(const QByteArray& key);
    bool revokeDevice(const QByteArray& key);
    /** Whether a device with this key hash (Secrets::deviceKeyHash) is still signed in. */
    [[nodiscard]] bool hasDeviceWithHash(const QString& hash);

    [[nodiscard]] static QString normalizeEmail(const QString& email);
    [[nodiscard]] static bool isPlausibleEmail(const QString& email);

private:
    const Database& m_database;
};

} // namespace OrvaneServer
