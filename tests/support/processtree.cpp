#include "processtree.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray commandLine(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QMap<qint64, QByteArray> descendants(qint64 pid) {
    QMap<qint64, qint64> parents;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.toLongLong() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        // The parent follows the state, after the parenthesised command name.
        const QByteArray fields = stat.readAll();
        parents[entry.toLongLong()] =
            fields.mid(fields.lastIndexOf(')') + 4).split(' ').value(0).toLongLong();
    }
    QMap<qint64, QByteArray> found;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        for (qint64 p = it.value(); p > 1; p = parents.value(p)) {
            if (p == pid) {
                found.insert(it.key(), commandLine(it.key()));
                break;
            }
        }
    }
    return found;
}

QMap<qint64, QByteArray> stillRunning(const QMap<qint64, QByteArray>& processes) {
    QMap<qint64, QByteArray> running;
    for (auto it = processes.cbegin(); it != processes.cend(); ++it) {
        if (commandLine(it.key()) == it.value() && !it.value().isEmpty())
            running.insert(it.key(), it.value());
    }
    return running;
}
