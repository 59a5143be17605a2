#pragma once

#include "platform/keyboardmanager.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>

#include <memory>

class PortalSession;
class Timer;
class TimerSource;

/**
 * Key presses through the desktop's RemoteDesktop portal, keyboard only. The desktop
 * asks the user once; the restore token it hands back is kept in the settings file so
 * that the next start reuses the permission instead of asking again.
 */
class PortalKeyboard final : public QObject, public KeyboardManagerProtocol {
    Q_OBJECT

public:
    /** The settings key of the restore token. */
    static const QString restoreTokenKey;

    explicit PortalKeyboard(TimerSource& timers,
                            QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~PortalKeyboard() override;

    void postKeystroke(int keyCode, quint64 flags) override;
    /**
     * The portal cannot see the physical keyboard: waits a short fixed while for the
     * hotkey's keys to come up.
     */
    void whenModifiersReleased(std::function<void()> ready) override;

    [[nodiscard]] bool isStarted() const { return m_state == State::started; }

Q_SIGNALS:
    /** The session started (true) or the desktop refused it (false). */
    void sessionReady(bool started);

private:
    enum class State { starting, started, failed };

    void start();
    void fail(const char* step, uint response);
    void sendKey(quint32 keysym, bool pressed);

    PortalSession* m_portal;
    std::unique_ptr<Timer> m_releaseWait;
    State m_state = State::starting;
    QString m_session;
    /** Keys asked for before the session started. */
    QList<std::pair<quint32, bool>> m_queued;
};
