#pragma once

#include "platform/clipboard.h"

#include <QByteArray>
#include <QList>
#include <QThread>

#include <functional>

class QObject;

/**
 * Reads X selections on a thread and connection of its own: the owner answers when it
 * likes (a busy or hung application may take seconds), and the main thread goes on
 * meanwhile. Large data comes in INCR steps.
 */
class X11SelectionReader {
public:
    X11SelectionReader();
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    /**
     * Reads the selection named selection ("CLIPBOARD", "PRIMARY"): every format it offers
     * when wanted is empty, otherwise the first of wanted it offers. done runs on the
     * thread of receiver, unless receiver is gone by then.
     */
    void read(const QByteArray& selection, const QList<QByteArray>& wanted, QObject* receiver,
              std::function<void(ClipboardContent)> done);

private:
    QThread m_thread;
    QObject* m_worker;
};
