#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <xcb/xcb.h>

struct xkb_context;
struct xkb_keymap;

/**
 * The X connection Qt already holds, with the few requests the platform layer
 * shares: atoms, window properties, the keyboard layout and modifier masks.
 */
class X11Display {
public:
    /** Qt's own connection; nullptr when the application does not run on xcb. */
    static std::shared_ptr<X11Display> fromApplication();
    /** A connection of our own, for tools and tests that act as another client. */
    static std::shared_ptr<X11Display> open(const char* displayName = nullptr);

    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    [[nodiscard]] xcb_connection_t* connection() const { return m_connection; }
    [[nodiscard]] xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name);
    /** The first 32-bit value of a window property. */
    std::optional<quint32> cardinalProperty(xcb_window_t window, const char* name, xcb_atom_t type);
    QByteArray byteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);

    [[nodiscard]] bool hasXTest() const;
    /** Whether some client owns the selection called name. */
    bool hasSelectionOwner(const char* name);

    /** Modifier masks of the current modifier map. */
    struct Masks {
        quint16 alt = 0;
        quint16 super = 0;
        quint16 numLock = 0;
        quint16 scrollLock = 0;
    };
    Masks modifierMasks();
    /** Key codes of every key that the modifier map lists (Shift, Ctrl, Alt ...). */
    QList<xcb_keycode_t> modifierKeycodes();
    /** Key codes now held down, from the server's key map. */
    QList<xcb_keycode_t> pressedKeycodes();

    /**
     * Every key code whose unshifted symbol is keysym in the active layout; when the
     * active layout has none, the same in the first (Latin) layout. Empty when no
     * key of the keyboard produces it.
     */
    QList<xcb_keycode_t> keycodesFor(quint32 keysym);
    /** The same for several symbols from one reading of the keyboard layout. */
    QList<QList<xcb_keycode_t>> keycodesFor(const QList<quint32>& keysyms);

private:
    X11Display(xcb_connection_t* connection, bool owned);
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const;
    };
    struct ContextDeleter {
        void operator()(xkb_context* context) const;
    };

    xcb_connection_t* m_connection = nullptr;
    bool m_owned = false;
    xcb_window_t m_root = XCB_NONE;
    QHash<QByteArray, xcb_atom_t> m_atoms;
    std::unique_ptr<xkb_context, ContextDeleter> m_xkbContext;
    bool m_xkbReady = false;
};
