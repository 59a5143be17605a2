#include "platform/x11/x11keyboardmanager.h"

#include "platform/polling.h"
#include "platform/virtualkeys.h"
#include "platform/x11/x11display.h"

#include <QList>

#include <array>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

constexpr auto releaseInterval = std::chrono::milliseconds(20);
constexpr int releaseAttempts = 50;

struct ModifierKey {
    quint64 flag;
    quint32 keysym;
    xcb_keycode_t positional;
};

// Pressed in this order and released in reverse.
constexpr std::array modifierKeys{
    ModifierKey{ModifierFlags::command, XKB_KEY_Control_L, 37},
    ModifierKey{ModifierFlags::option, XKB_KEY_Alt_L, 64},
    ModifierKey{ModifierFlags::shift, XKB_KEY_Shift_L, 50},
    ModifierKey{ModifierFlags::control, XKB_KEY_Super_L, 133},
};

} // namespace

X11KeyboardManager::X11KeyboardManager(std::shared_ptr<X11Display> display, TimerSource& timers)
    : m_display(std::move(display))
    , m_timers(timers) {}

void X11KeyboardManager::fakeKey(xcb_keycode_t keycode, bool press) {
    xcb_test_fake_input(m_display->connection(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void X11KeyboardManager::postKeystroke(int keyCode, quint64 flags) {
    const std::optional<VirtualKeys::Info> key = VirtualKeys::info(keyCode);
    if (!key)
        return;
    // One reading of the layout for the key and its modifiers; a symbol the layout
    // lacks falls back to its physical key.
    QList<quint32> keysyms{key->keysym};
    QList<xcb_keycode_t> fallbacks{key->positionalKeycode};
    for (const ModifierKey& modifier : modifierKeys) {
        if (flags & modifier.flag) {
            keysyms.append(modifier.keysym);
            fallbacks.append(modifier.positional);
        }
    }
    const QList<QList<xcb_keycode_t>> found = m_display->keycodesFor(keysyms);
    QList<xcb_keycode_t> codes;
    for (qsizetype i = 0; i < found.size(); ++i)
        codes.append(found.at(i).isEmpty() ? fallbacks.at(i) : found.at(i).constFirst());
    const xcb_keycode_t code = codes.takeFirst();
    const QList<xcb_keycode_t>& modifiers = codes;

    for (xcb_keycode_t modifier : modifiers)
        fakeKey(modifier, true);
    fakeKey(code, true);
    fakeKey(code, false);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        fakeKey(*it, false);
    xcb_flush(m_display->connection());
}

void X11KeyboardManager::whenModifiersReleased(std::function<void()> ready) {
    const std::shared_ptr<X11Display> display = m_display;
    pollUntil(
        m_timers, releaseInterval, releaseAttempts,
        [display] { return display->pressedKeycodes().isEmpty(); },
        [display, ready = std::move(ready)](bool released) {
            if (!released) {
                // Released for good: pressing them back after our keystroke would
                // leave them stuck once the user lets go. The hotkey's own key goes
                // too, or our press of the same key would only count as a repeat.
                for (xcb_keycode_t code : display->pressedKeycodes())
                    xcb_test_fake_input(display->connection(), XCB_KEY_RELEASE, code,
                                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
                // A hotkey's key held down keeps the keyboard grabbed by us, which
                // would send our keystroke back to us instead of the focused window.
                xcb_ungrab_keyboard(display->connection(), XCB_CURRENT_TIME);
                xcb_flush(display->connection());
            }
            ready();
        });
}
