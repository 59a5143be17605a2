#include "platform/loginitem.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

void logFailure(bool enabling, const QString& reason) {
    qCCritical(lcMain, "Failed to %s launch at login: %s", enabling ? "enable" : "disable",
               qUtf8Printable(reason));
}

// Exec values quote arguments with reserved characters; inside quotes ", `, $ and
// \ are escaped, and the desktop-file string escaping doubles every backslash again.
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes =
        std::any_of(program.cbegin(), program.cend(), [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return program;
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

QByteArray entryText() {
    QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty())
        program = QStringLiteral("orvane");
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Orvane\n"
                          "Comment=Writing assistant for any application\n"
                          "Exec=%1\n"
                          "Icon=org.orvane.Orvane\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execValue(program))
        .toUtf8();
}

bool writeEntry(QString* reason) {
    const QString path = LoginItem::autostartFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *reason = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryText()) < 0 || !file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

bool removeEntry(QString* reason) {
    QFile file(LoginItem::autostartFilePath());
    if (!file.exists() || file.remove())
        return true;
    *reason = file.errorString();
    return false;
}

} // namespace

QString LoginItem::autostartFilePath() {
    // Not QStandardPaths: autostart entries belong to the real configuration
    // folder even when tests switch it to test mode.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/org.orvane.Orvane.desktop");
}

bool LoginItem::isEnabled() {
    QFile file(autostartFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const QByteArray compact = QByteArray(line).replace(' ', "");
        if (compact == "Hidden=true" || compact == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

void LoginItem::setEnabled(bool enabled) {
    QString reason;
    if (enabled) {
        // Registering again replaces the entry, as switching on twice must leave one.
        if (isEnabled())
            removeEntry(&reason);
        if (!writeEntry(&reason))
            logFailure(true, reason);
    } else if (!removeEntry(&reason)) {
        logFailure(false, reason);
    }
}
