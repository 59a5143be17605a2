#pragma once

#include <QList>
#include <QString>

struct xcb_connection_t;

/** The session Orvane runs in, as the environment describes it. */
struct SessionInfo {
    QString sessionType;
    QString waylandDisplay;
    QString display;
    QString desktop;

    enum class Server { x11, wayland, none };
    /** Wayland when WAYLAND_DISPLAY is set, else X11 when DISPLAY is, else none. */
    [[nodiscard]] Server server() const;

    [[nodiscard]] static SessionInfo fromEnvironment();
};

/** What the session offers, found by asking the display server and the session bus. */
struct Presence {
    bool x11Reachable = false;
    bool xtest = false;
    /** The window manager publishes the active window. */
    bool activeWindowHint = false;
    /** Versions of the desktop portals' interfaces; 0 when absent. */
    uint globalShortcutsPortal = 0;
    uint remoteDesktopPortal = 0;
    /** Globals the Wayland compositor advertises. */
    bool virtualKeyboard = false;
    bool dataControl = false;
    bool foreignToplevel = false;

    /** Asks the X server, or on Wayland the compositor and the portals; needs no GUI. */
    [[nodiscard]] static Presence probe(const SessionInfo& session);
    /** Asks over a connection that is already open (the application's own). */
    [[nodiscard]] static Presence ofX11(xcb_connection_t* connection, quint32 root);
    /** Fills in the desktop portals' versions from the session bus. */
    void askPortals();
};

/** How each capability is provided; an empty string means it is not. */
struct Mechanisms {
    enum class Hotkeys { none, x11Grabs, portal };
    enum class Keys { none, xtest, portal, virtualKeyboard };

    Hotkeys hotkeys = Hotkeys::none;
    Keys keys = Keys::none;
    bool clipboardWithoutFocus = false;
    bool clipboard = false;
    bool windowTracking = false;

    /** The one place that decides what to use, from what the session offers. */
    [[nodiscard]] static Mechanisms choose(SessionInfo::Server server, const Presence& presence);
};

/** One capability: whether it works here, by what means, and what to do otherwise. */
struct Capability {
    QString title;
    bool available = false;
    QString means;
    /** What the user can do (or should know) when it is missing or limited. */
    QString advice;
};

/** The "what works here" report of the first run, the settings window and --check. */
struct CapabilityReport {
    SessionInfo session;
    QList<Capability> capabilities;

    [[nodiscard]] static CapabilityReport build(const SessionInfo& session,
                                                const Mechanisms& mechanisms);
    [[nodiscard]] bool allAvailable() const;
    /** Plain text, one block per capability, as --check prints it. */
    [[nodiscard]] QString toText() const;
};
