#include "platform/wayland/waylandkeyboardmanager.h"

#include "core/logging.h"
#include "platform/polling.h"
#include "platform/virtualkeys.h"
#include "platform/wayland/waylandconnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <array>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

constexpr auto focusInterval = std::chrono::milliseconds(20);
constexpr int focusAttempts = 50;
// Evdev codes of the left modifier keys.
constexpr quint32 evdevControl = 29;
constexpr quint32 evdevShift = 42;
constexpr quint32 evdevAlt = 56;
constexpr quint32 evdevSuper = 125;
constexpr quint32 xkbEvdevOffset = 8;

quint32 now() {
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return static_cast<quint32>(clock.elapsed());
}

quint32 modifierMask(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : 1u << index;
}

} // namespace

WaylandKeyboardManager::WaylandKeyboardManager(std::shared_ptr<WaylandConnection> connection,
                                               TimerSource& timers)
    : m_connection(std::move(connection))
    , m_timers(timers) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap =
        context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    const int fd = memfd_create("orvane-keymap", MFD_CLOEXEC);
    const size_t size = text ? std::strlen(text) + 1 : 0;
    if (text && fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size)) {
        m_shiftMask = modifierMask(keymap, XKB_MOD_NAME_SHIFT);
        m_controlMask = modifierMask(keymap, XKB_MOD_NAME_CTRL);
        m_altMask = modifierMask(keymap, XKB_MOD_NAME_ALT);
        m_superMask = modifierMask(keymap, XKB_MOD_NAME_LOGO);
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
            m_connection->virtualKeyboardManager(), m_connection->seat());
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<quint32>(size));
        m_connection->flush();
    } else {
        qCCritical(lcApplication, "No keymap for the virtual keyboard: keys cannot be posted");
    }
    if (fd >= 0)
        close(fd);
    free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
}

WaylandKeyboardManager::~WaylandKeyboardManager() {
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
}

void WaylandKeyboardManager::key(quint32 evdevCode, bool press) {
    zwp_virtual_keyboard_v1_key(m_keyboard, now(), evdevCode,
                                press ? WL_KEYBOARD_KEY_STATE_PRESSED
                                      : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void WaylandKeyboardManager::postKeystroke(int keyCode, quint64 flags) {
    const std::optional<VirtualKeys::Info> info = VirtualKeys::info(keyCode);
    if (!m_keyboard || !info)
        return;
    struct Modifier {
        quint64 flag;
        quint32 evdev;
        quint32 mask;
    };
    const std::array modifiers{Modifier{ModifierFlags::command, evdevControl, m_controlMask},
                               Modifier{ModifierFlags::option, evdevAlt, m_altMask},
                               Modifier{ModifierFlags::shift, evdevShift, m_shiftMask},
                               Modifier{ModifierFlags::control, evdevSuper, m_superMask}};
    // The compositor takes the modifier state as the keyboard states it, not from the
    // keys: both go out, as a physical keyboard's driver would send them.
    quint32 mask = 0;
    for (const Modifier& modifier : modifiers) {
        if (!(flags & modifier.flag))
            continue;
        key(modifier.evdev, true);
        mask |= modifier.mask;
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, mask, 0, 0, 0);
    }
    const quint32 code = info->positionalKeycode - xkbEvdevOffset;
    key(code, true);
    key(code, false);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it) {
        if (!(flags & it->flag))
            continue;
        key(it->evdev, false);
        mask &= ~it->mask;
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, mask, 0, 0, 0);
    }
    m_connection->flush();
}

void WaylandKeyboardManager::whenModifiersReleased(std::function<void()> ready) {
    pollUntil(
        m_timers, focusInterval, focusAttempts,
        [] { return QGuiApplication::focusWindow() == nullptr; },
        [ready = std::move(ready)](bool) { ready(); });
}
