#include "core/settingsstore.h"

#include <cstdio>

std::unique_ptr<QSettings> openSettingsStore() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Orvane"), QStringLiteral("Orvane"));
}

void writeToStandardOutput(const QString& line) {
    std::fputs(qUtf8Printable(line + u'\n'), stdout);
    std::fflush(stdout);
}
