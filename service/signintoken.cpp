#include "service/signintoken.h"

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
    // The service derives the same code from the challenge (no look-alike characters).
    static const char alphabet[] = "ABCDEFGHJKMNPQRSTVWXYZ23456789";
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray("orvane sign-in code:" + challengeFor(token).toLatin1()),
        QCryptographicHash::Sha256);
    QString code;
    for (int i = 0; i < 8; ++i) {
        if (i == 4)
            code += QLatin1Char('-');
        code += QLatin1Char(alphabet[static_cast<unsigned char>(digest.at(i)) % 30]);
    }
    return code;
}

QUrl SignIn::browserPageUrl(const ServiceBase& base, const QString& token, bool signUp) {
    return base.httpUrl(
        signUp ? QStringLiteral("/users/register") : QStringLiteral("/users/log_in"),
        ServiceBase::QueryItems{{QStringLiteral("token"), token},
                                {QStringLiteral("challenge"), challengeFor(token)}});
}
