#include "shortcuts/localeventmonitor.h"

#include <QCoreApplication>

namespace Shortcuts {

LocalEventMonitor::LocalEventMonitor(QList<QEvent::Type> events, Callback callback, QObject* parent)
    : QObject(parent)
    , m_events(std::move(events))
    , m_callback(std::move(callback)) {}

LocalEventMonitor::~LocalEventMonitor() {
    stop();
}

void LocalEventMonitor::start() {
    if (m_running || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    m_running = true;
}

void LocalEventMonitor::stop() {
    if (!m_running)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    m_running = false;
}

bool LocalEventMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWindowType() || !m_events.contains(event->type()) || !m_callback)
        return false;
    return m_callback(event) == nullptr;
}

} // namespace Shortcuts
