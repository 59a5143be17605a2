#pragma once

#include "platform/keyboardmanager.h"

#include <memory>
#include <xcb/xcb.h>

class TimerSource;
class X11Display;

/** Synthetic keys through XTest, with key codes from the active keyboard layout. */
class X11KeyboardManager final : public KeyboardManagerProtocol {
public:
    X11KeyboardManager(std::shared_ptr<X11Display> display, TimerSource& timers);

    void postKeystroke(int keyCode, quint64 flags) override;
    void whenModifiersReleased(std::function<void()> ready) override;

private:
    void fakeKey(xcb_keycode_t keycode, bool press);

    std::shared_ptr<X11Display> m_display;
    TimerSource& m_timers;
};
