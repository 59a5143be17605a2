#pragma once

#include <QEvent>
#include <QList>
#include <QObject>

#include <functional>

namespace Shortcuts {

/**
 * Sees events of the kinds asked for that reach any window of this application,
 * before the window's items do. The callback returns the event to let it go on, or
 * nullptr to swallow it. Watches windows only, so each key press is seen once.
 */
class LocalEventMonitor : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<QEvent*(QEvent* event)>;

    LocalEventMonitor(QList<QEvent::Type> events, Callback callback, QObject* parent = nullptr);
    ~LocalEventMonitor() override;

    void start();
    void stop();
    [[nodiscard]] bool isRunning() const { return m_running; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QEvent::Type> m_events;
    Callback m_callback;
    bool m_running = false;
};

} // namespace Shortcuts
