#include "platform/x11/x11hotkeygrabber.h"

#include "core/logging.h"
#include "platform/virtualkeys.h"

#include <QCoreApplication>
#include <QTimer>

#define explicit xkb_explicit // xcb/xkb.h uses the C++ keyword as a member name
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

namespace {

constexpr quint16 shiftMask = XCB_MOD_MASK_SHIFT;
constexpr quint16 controlMask = XCB_MOD_MASK_CONTROL;

} // namespace

X11HotkeyGrabber::X11HotkeyGrabber(std::shared_ptr<X11Display> display)
    : m_display(std::move(display)) {
    refreshMasks();
    xcb_connection_t* connection = m_display->connection();
    if (const auto* xkb = xcb_get_extension_data(connection, &xcb_xkb_id); xkb && xkb->present) {
        m_xkbEventBase = xkb->first_event;
        // Held keys then repeat as presses only, which are easy to ignore.
        std::free(xcb_xkb_per_client_flags_reply(
            connection,
            xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                     XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
            nullptr));
        if (auto* state = xcb_xkb_get_state_reply(
                connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr)) {
            m_layout = state->group;
            std::free(state);
        }
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const auto& [id, grab] : m_grabs)
        ungrabKeys(grab.combination);
    xcb_flush(m_display->connection());
}

void X11HotkeyGrabber::setHandler(Handler handler) {
    m_handler = std::move(handler);
}

void X11HotkeyGrabber::refreshMasks() {
    m_masks = m_display->modifierMasks();
}

X11HotkeyGrabber::Combination X11HotkeyGrabber::resolve(int keyCode, quint64 flags) {
    Combination combination;
    const std::optional<VirtualKeys::Info> key = VirtualKeys::info(keyCode);
    if (!key)
        return combination;
    if (flags & ModifierFlags::command)
        combination.modifiers |= controlMask;
    if (flags & ModifierFlags::shift)
        combination.modifiers |= shiftMask;
    if (flags & ModifierFlags::option) {
        if (!m_masks.alt)
            return combination;
        combination.modifiers |= m_masks.alt;
    }
    if (flags & ModifierFlags::control) {
        if (!m_masks.super)
            return combination;
        combination.modifiers |= m_masks.super;
    }
    combination.keycodes = m_display->keycodesFor(key->keysym);
    if (combination.keycodes.isEmpty())
        combination.keycodes.append(key->positionalKeycode);
    combination.valid = true;
    return combination;
}

QList<quint16> X11HotkeyGrabber::lockVariants() const {
    const std::array locks{static_cast<quint16>(XCB_MOD_MASK_LOCK), m_masks.numLock,
                           m_masks.scrollLock};
    QList<quint16> variants{0};
    for (quint16 lock : locks) {
        if (lock == 0)
            continue;
        const qsizetype count = variants.size();
        for (qsizetype i = 0; i < count; ++i) {
            const auto variant = static_cast<quint16>(variants.at(i) | lock);
            if (!variants.contains(variant))
                variants.append(variant);
        }
    }
    return variants;
}

bool X11HotkeyGrabber::grabKeys(const Combination& combination) {
    xcb_connection_t* connection = m_display->connection();
    QList<xcb_keycode_t> fresh;
    QList<xcb_void_cookie_t> cookies;
    const QList<quint16> variants = lockVariants();
    for (xcb_keycode_t keycode : combination.keycodes) {
        if (m_heldKeys.contains({keycode, combination.modifiers}) || fresh.contains(keycode))
            continue;
        fresh.append(keycode);
        for (quint16 variant : variants) {
            cookies.append(xcb_grab_key_checked(connection, 0, m_display->root(),
                                                combination.modifiers | variant, keycode,
                                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool refused = false;
    for (const xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    if (refused) {
        // Our ungrab only touches our own grabs, so undoing every variant is safe.
        for (xcb_keycode_t keycode : fresh) {
            for (quint16 variant : variants)
                xcb_ungrab_key(connection, keycode, m_display->root(),
                               combination.modifiers | variant);
        }
        xcb_flush(connection);
        return false;
    }
    for (xcb_keycode_t keycode : combination.keycodes)
        ++m_heldKeys[{keycode, combination.modifiers}];
    return true;
}

void X11HotkeyGrabber::ungrabKeys(const Combination& combination) {
    const QList<quint16> variants = lockVariants();
    for (xcb_keycode_t keycode : combination.keycodes) {
        const auto it = m_heldKeys.find({keycode, combination.modifiers});
        if (it == m_heldKeys.end() || --it->second > 0)
            continue;
        m_heldKeys.erase(it);
        for (quint16 variant : variants)
            xcb_ungrab_key(m_display->connection(), keycode, m_display->root(),
                           combination.modifiers | variant);
    }
}

bool X11HotkeyGrabber::grab(quint32 id, int keyCode, quint64 flags) {
    if (m_grabs.contains(id))
        return false;
    const Combination combination = resolve(keyCode, flags);
    if (!combination.valid || !grabKeys(combination))
        return false;
    xcb_flush(m_display->connection());
    m_grabs.emplace(id, Grab{keyCode, flags, combination});
    return true;
}

void X11HotkeyGrabber::ungrab(quint32 id) {
    const auto it = m_grabs.find(id);
    if (it == m_grabs.end())
        return;
    ungrabKeys(it->second.combination);
    xcb_flush(m_display->connection());
    m_grabs.erase(it);
    for (QList<quint32>& ids : m_pressed)
        ids.removeAll(id);
}

bool X11HotkeyGrabber::isTaken(int keyCode, quint64 flags) {
    Combination combination = resolve(keyCode, flags);
    if (!combination.valid)
        return false;
    // Keys we hold ourselves are ours, not taken; only the others are tried.
    combination.keycodes.removeIf([&](xcb_keycode_t keycode) {
        return m_heldKeys.contains({keycode, combination.modifiers});
    });
    if (combination.keycodes.isEmpty())
        return false;
    if (!grabKeys(combination))
        return true;
    ungrabKeys(combination);
    xcb_flush(m_display->connection());
    return false;
}

void X11HotkeyGrabber::scheduleRegrab() {
    if (m_regrabPending)
        return;
    m_regrabPending = true;
    QTimer::singleShot(0, this, [this] { regrab(); });
}

void X11HotkeyGrabber::regrab() {
    m_regrabPending = false;
    for (const auto& [id, grab] : m_grabs)
        ungrabKeys(grab.combination);
    m_heldKeys.clear();
    m_pressed.clear();
    refreshMasks();
    for (auto& [id, grab] : m_grabs) {
        grab.combination = resolve(grab.keyCode, grab.flags);
        if (!grab.combination.valid || !grabKeys(grab.combination)) {
            qCInfo(lcHotkeys, "A hotkey is no longer available after a keyboard change");
            grab.combination = {};
        }
    }
    xcb_flush(m_display->connection());
}

void X11HotkeyGrabber::keyEvent(xcb_keycode_t keycode, quint16 state, quint32 time, bool pressed) {
    QList<quint32> ids;
    if (pressed) {
        // A held key repeats as presses: only the first one counts.
        if (m_pressed.contains(keycode))
            return;
        const quint16 relevant = shiftMask | controlMask | m_masks.alt | m_masks.super;
        for (const auto& [id, grab] : m_grabs) {
            if (grab.combination.keycodes.contains(keycode) &&
                (state & relevant) == grab.combination.modifiers)
                ids.append(id);
        }
        if (ids.isEmpty())
            return;
        m_pressed.insert(keycode, ids);
    } else {
        // Modifiers may be let go first, so the release is matched by its key alone.
        ids = m_pressed.take(keycode);
    }
    if (ids.isEmpty() || !m_handler)
        return;
    // Delivered from the event loop, not from inside Qt's event processing.
    QMetaObject::invokeMethod(
        this,
        [this, ids, pressed, time] {
            for (quint32 id : ids) {
                if (m_handler && m_grabs.contains(id))
                    m_handler(id, pressed, time);
            }
        },
        Qt::QueuedConnection);
}

bool X11HotkeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (key->event == m_display->root())
            keyEvent(key->detail, key->state, key->time, type == XCB_KEY_PRESS);
        // Not consumed: Qt still takes the event's time stamp, which lets our
        // windows take the focus in answer to the hotkey.
        return false;
    }
    case XCB_MAPPING_NOTIFY:
        scheduleRegrab();
        return false;
    default:
        break;
    }
    if (m_xkbEventBase != 0 && type == m_xkbEventBase) {
        const quint8 xkbType = reinterpret_cast<const quint8*>(event)[1];
        if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY) {
            scheduleRegrab();
        } else if (xkbType == XCB_XKB_STATE_NOTIFY) {
            const auto* state = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
            if (state->group != m_layout) {
                m_layout = state->group;
                scheduleRegrab();
            }
        }
    }
    return false;
}
