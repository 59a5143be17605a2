#include "platform/x11/x11display.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace {

template <typename Reply>
struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

} // namespace

std::shared_ptr<X11Display> X11Display::fromApplication() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::shared_ptr<X11Display>(new X11Display(x11->connection(), false));
}

std::shared_ptr<X11Display> X11Display::open(const char* displayName) {
    xcb_connection_t* connection = xcb_connect(displayName, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::shared_ptr<X11Display>(new X11Display(connection, true));
}

X11Display::X11Display(xcb_connection_t* connection, bool owned)
    : m_connection(connection)
    , m_owned(owned)
    , m_xkbContext(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    m_root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    m_xkbReady = xkb_x11_setup_xkb_extension(
                     connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 1;
}

X11Display::~X11Display() {
    if (m_owned)
        xcb_disconnect(m_connection);
}

void X11Display::KeymapDeleter::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}

void X11Display::ContextDeleter::operator()(xkb_context* context) const {
    xkb_context_unref(context);
}

xcb_atom_t X11Display::atom(const char* name) {
    const QByteArray key(name);
    if (const auto it = m_atoms.constFind(key); it != m_atoms.constEnd())
        return *it;
    const Freed reply{xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, key.size(), name), nullptr)};
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    if (atom != XCB_NONE)
        m_atoms.insert(key, atom);
    return atom;
}

std::optional<quint32> X11Display::cardinalProperty(xcb_window_t window, const char* name,
                                                    xcb_atom_t type) {
    const QByteArray bytes = byteProperty(window, atom(name), type);
    if (bytes.size() < 4)
        return std::nullopt;
    quint32 value = 0;
    std::memcpy(&value, bytes.constData(), sizeof value);
    return value;
}

QByteArray X11Display::byteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    const Freed reply{xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 1024), nullptr)};
    if (!reply || reply->type != type)
        return {};
    const int length = xcb_get_property_value_length(reply.reply);
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.reply)), length);
}

bool X11Display::hasSelectionOwner(const char* name) {
    const Freed reply{xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, atom(name)), nullptr)};
    return reply && reply->owner != XCB_NONE;
}

bool X11Display::hasXTest() const {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_connection, &xcb_test_id);
    return extension && extension->present;
}

X11Display::Masks X11Display::modifierMasks() {
    Masks masks;
    const Freed reply{xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr)};
    if (!reply)
        return masks;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.reply);
    const int perModifier = reply->keycodes_per_modifier;

    const Freed mapping{xcb_get_keyboard_mapping_reply(
        m_connection,
        xcb_get_keyboard_mapping(m_connection, xcb_get_setup(m_connection)->min_keycode,
                                 xcb_get_setup(m_connection)->max_keycode -
                                     xcb_get_setup(m_connection)->min_keycode + 1),
        nullptr)};
    if (!mapping)
        return masks;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.reply);
    const int perKeycode = mapping->keysyms_per_keycode;
    const int minKeycode = xcb_get_setup(m_connection)->min_keycode;
    const int keysymCount = xcb_get_keyboard_mapping_keysyms_length(mapping.reply);

    // Shift, Lock and Control have fixed bits; which of Mod1..Mod5 carries Alt,
    // Super and the lock keys depends on the modifier map.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const auto bit = static_cast<quint16>(1U << modifier);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code == 0)
                continue;
            for (int level = 0; level < perKeycode; ++level) {
                const int index = (code - minKeycode) * perKeycode + level;
                if (index < 0 || index >= keysymCount)
                    continue;
                switch (keysyms[index]) {
                case XKB_KEY_Alt_L:
                case XKB_KEY_Alt_R:
                    if (!masks.alt)
                        masks.alt = bit;
                    break;
                case XKB_KEY_Super_L:
                case XKB_KEY_Super_R:
                    if (!masks.super)
                        masks.super = bit;
                    break;
                case XKB_KEY_Num_Lock:
                    masks.numLock = bit;
                    break;
                case XKB_KEY_Scroll_Lock:
                    masks.scrollLock = bit;
                    break;
                default:
                    break;
                }
            }
        }
    }
    return masks;
}

QList<xcb_keycode_t> X11Display::modifierKeycodes() {
    QList<xcb_keycode_t> result;
    const Freed reply{xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr)};
    if (!reply)
        return result;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.reply);
    const int count = xcb_get_modifier_mapping_keycodes_length(reply.reply);
    for (int i = 0; i < count; ++i) {
        // Lock (CapsLock) is a toggle, not a key the user holds with a hotkey.
        if (i / reply->keycodes_per_modifier == 1 || codes[i] == 0)
            continue;
        if (!result.contains(codes[i]))
            result.append(codes[i]);
    }
    return result;
}

QList<xcb_keycode_t> X11Display::pressedKeycodes() {
    QList<xcb_keycode_t> result;
    const Freed reply{
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr)};
    if (!reply)
        return result;
    for (int code = 8; code < 256; ++code) {
        if (reply->keys[code / 8] & (1U << (code % 8)))
            result.append(static_cast<xcb_keycode_t>(code));
    }
    return result;
}

QList<xcb_keycode_t> X11Display::keycodesFor(quint32 keysym) {
    return keycodesFor(QList<quint32>{keysym}).constFirst();
}

QList<QList<xcb_keycode_t>> X11Display::keycodesFor(const QList<quint32>& keysyms) {
    QList<QList<xcb_keycode_t>> results(keysyms.size());
    if (!m_xkbReady || !m_xkbContext)
        return results;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    // Read afresh each time: the layout may have changed since the last call.
    const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_x11_keymap_new_from_device(
        m_xkbContext.get(), m_connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return results;
    xkb_state* state = xkb_x11_state_new_from_device(keymap.get(), m_connection, device);
    const xkb_layout_index_t active =
        state ? xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    if (state)
        xkb_state_unref(state);

    const auto collect = [&](quint32 keysym, xkb_layout_index_t layout) {
        QList<xcb_keycode_t> found;
        const xkb_keycode_t min = xkb_keymap_min_keycode(keymap.get());
        const xkb_keycode_t max = xkb_keymap_max_keycode(keymap.get());
        for (xkb_keycode_t code = min; code <= max && code < 256; ++code) {
            if (layout >= xkb_keymap_num_layouts_for_key(keymap.get(), code))
                continue;
            const xkb_keysym_t* symbols = nullptr;
            const int count =
                xkb_keymap_key_get_syms_by_level(keymap.get(), code, layout, 0, &symbols);
            if (count == 1 && symbols[0] == keysym)
                found.append(static_cast<xcb_keycode_t>(code));
        }
        return found;
    };
    for (qsizetype i = 0; i < keysyms.size(); ++i) {
        results[i] = collect(keysyms.at(i), active);
        if (results[i].isEmpty() && active != 0)
            results[i] = collect(keysyms.at(i), 0);
    }
    return results;
}
