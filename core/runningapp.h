#pragma once

#include <QString>
#include <QtGlobal>

/** Another application's window that had the focus: where captured text came from. */
struct RunningApp {
    quint32 windowId = 0;
    qint64 processId = 0;
    QString windowClass;

    friend bool operator==(const RunningApp&, const RunningApp&) = default;
};
