#include "service/signintoken.h"

#include "core/signincode.h"

#include <QCryptographicHash>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

QString SignIn::makeToken() {
    QString token;
    token.reserve(tokenLength);
    QRandomGenerator* random = QRandomGenerator::system();
    while (token.size() < tokenLength) {
        // Six random bits give 0..63; 62 and 63 are drawn again.
        const quint32 index = random->generate() & 0x3F;
        if (index < static_cast<quint32>(tokenAlphabet.size()))
            token += tokenAlphabet.at(index);
    }
    return token;
}

QString SignIn::verifierFor(const QString& token) {
    static QMutex mutex;
    static QHash<QString, QString> verifiers;
    const QMutexLocker lock(&mutex);
    QString& verifier = verifiers[token];
    if (verifier.isEmpty()) {
        QByteArray bytes(32, Qt::Uninitialized);
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                              bytes.size() / 4);
        verifier = QString::fromLatin1(
            bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    }
    return verifier;
}

QString SignIn::challengeFor(const QString& token) {
    return QString::fromLatin1(
        QCryptographicHash::hash(verifierFor(token).toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString SignIn::shortCode(const QString& token) {
    return signInCodeFor(challengeFor(token));
}

QUrl SignIn::browserPageUrl(const ServiceBase& base, const QString& token, bool signUp) {
    return base.httpUrl(
        signUp ? QStringLiteral("/users/register") : QStringLiteral("/users/log_in"),
        ServiceBase::QueryItems{{QStringLiteral("token"), token},
                                {QStringLiteral("challenge"), challengeFor(token)}});
}
