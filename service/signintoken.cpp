#include "service/signintoken.h"

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

QUrl SignIn::browserPageUrl(const ServiceBase& base, const QString& token, bool signUp) {
    return base.httpUrl(signUp ? QStringLiteral("/users/register")
                               : QStringLiteral("/users/log_in"),
                        ServiceBase::QueryItems{{QStringLiteral("token"), token}});
}
