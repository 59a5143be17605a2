#pragma once

#include <QByteArray>
#include <QMap>

/** Processes below pid, however deep, by id, with their command lines. */
[[nodiscard]] QMap<qint64, QByteArray> descendants(qint64 pid);

/** Those of processes that still run (same id, same command line), wherever they went. */
[[nodiscard]] QMap<qint64, QByteArray> stillRunning(const QMap<qint64, QByteArray>& processes);
