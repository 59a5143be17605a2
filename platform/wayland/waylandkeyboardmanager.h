#pragma once

#include "platform/keyboardmanager.h"

#include <memory>

class TimerSource;
class WaylandConnection;
struct zwp_virtual_keyboard_v1;

/**
 * Synthetic keys through a virtual keyboard of the compositor's (wlroots). It carries a
 * US keymap of its own, so a shortcut's key is found whatever layout the user types in;
 * applications read Ctrl+C by its key symbol.
 */
class WaylandKeyboardManager final : public KeyboardManagerProtocol {
public:
    /** Needs the connection's virtual keyboard manager and seat. */
    WaylandKeyboardManager(std::shared_ptr<WaylandConnection> connection, TimerSource& timers);
    ~WaylandKeyboardManager() override;

    void postKeystroke(int keyCode, quint64 flags) override;
    /**
     * Wayland does not tell a client what the user holds; what it can see is its own
     * focus. Keys we post are for another application, so this waits (boundedly) until
     * none of our windows has the keyboard any more.
     */
    void whenModifiersReleased(std::function<void()> ready) override;

private:
    void key(quint32 evdevCode, bool press);

    std::shared_ptr<WaylandConnection> m_connection;
    TimerSource& m_timers;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    quint32 m_shiftMask = 0;
    quint32 m_controlMask = 0;
    quint32 m_altMask = 0;
    quint32 m_superMask = 0;
};
