#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace OrvaneServer::Secrets {

/** Prepares libsodium; false when it cannot be used. Call once at start. */
bool initialize();

/** An Argon2id hash in the library's self-describing text form; empty when out of memory. */
[[nodiscard]] QString hashPassword(const QString& password);
[[nodiscard]] bool verifyPassword(const QString& password, const QString& hash);
/** Spends the same time as a real verification, so that unknown emails are not told apart. */
void verifyAgainstDummy(const QString& password);

/** 32 random bytes in base64url without padding. */
[[nodiscard]] QString newDeviceKey();
/** Lower-case hex of the SHA-256 of the key's bytes: what is stored for a device. */
[[nodiscard]] QString deviceKeyHash(const QByteArray& key);

[[nodiscard]] QByteArray randomBytes(int count);
[[nodiscard]] QByteArray hmac(const QByteArray& key, const QByteArray& message);
[[nodiscard]] bool equalInConstantTime(const QByteArray& left, const QByteArray& right);

} // namespace OrvaneServer::Secrets
