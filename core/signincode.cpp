#include "core/signincode.h"

#include <QCryptographicHash>

QString signInCodeFor(const QString& challenge) {
    // Eight characters of an alphabet without look-alikes (no 0/O, 1/I/L, U).
    static const char alphabet[] = "ABCDEFGHJKMNPQRSTVWXYZ23456789";
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray("orvane sign-in code:" + challenge.toLatin1()), QCryptographicHash::Sha256);
    QString code;
    for (int i = 0; i < 8; ++i) {
        if (i == 4)
            code += QLatin1Char('-');
        code += QLatin1Char(alphabet[static_cast<unsigned char>(digest.at(i)) % 30]);
    }
    return code;
}
