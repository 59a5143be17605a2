#include "secrets.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

#include <sodium.h>

namespace OrvaneServer::Secrets {

bool initialize() {
    return sodium_init() >= 0;
}

QString hashPassword(const QString& password) {
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QString::fromLatin1(hash);
}

bool verifyPassword(const QString& password, const QString& hash) {
    const QByteArray bytes = password.toUtf8();
    const QByteArray stored = hash.toLatin1();
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size())) == 0;
}

void verifyAgainstDummy(const QString& password) {
    static const QString dummy = hashPassword(QString::fromLatin1(randomBytes(16).toHex()));
    (void)verifyPassword(password, dummy);
}

QString newDeviceKey() {
    return QString::fromLatin1(
        randomBytes(32).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString deviceKeyHash(const QByteArray& key) {
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex());
}

QByteArray randomBytes(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    randombytes_buf(bytes.data(), static_cast<size_t>(count));
    return bytes;
}

QByteArray hmac(const QByteArray& key, const QByteArray& message) {
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

bool equalInConstantTime(const QByteArray& left, const QByteArray& right) {
    return left.size() == right.size() && sodium_memcmp(left.constData(), right.constData(),
                                                        static_cast<size_t>(left.size())) == 0;
}

} // namespace OrvaneServer::Secrets
