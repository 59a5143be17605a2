#include "platform/capabilities.h"

#include "platform/portal/portalsession.h"

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <wayland-client.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

SessionInfo::Server SessionInfo::server() const {
    if (!waylandDisplay.isEmpty())
        return Server::wayland;
    return display.isEmpty() ? Server::none : Server::x11;
}

SessionInfo SessionInfo::fromEnvironment() {
    return SessionInfo{qEnvironmentVariable("XDG_SESSION_TYPE"),
                       qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY"),
                       qEnvironmentVariable("XDG_CURRENT_DESKTOP")};
}

namespace {

void probeX11(Presence& presence) {
    using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
    int screenNumber = 0;
    const Connection connection(xcb_connect(nullptr, &screenNumber), &xcb_disconnect);
    if (xcb_connection_has_error(connection.get()))
        return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (screens.rem)
        presence = Presence::ofX11(connection.get(), screens.data->root);
}

void probeWayland(Presence& presence) {
    using Display = std::unique_ptr<wl_display, decltype(&wl_display_disconnect)>;
    const Display display(wl_display_connect(nullptr), &wl_display_disconnect);
    if (!display)
        return;
    wl_registry* registry = wl_display_get_registry(display.get());
    static const wl_registry_listener listener{
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            auto& found = *static_cast<Presence*>(data);
            const QByteArray name(interface);
            if (name == "zwp_virtual_keyboard_manager_v1")
                found.virtualKeyboard = true;
            else if (name == "zwlr_data_control_manager_v1" ||
                     name == "ext_data_control_manager_v1")
                found.dataControl = true;
            else if (name == "zwlr_foreign_toplevel_manager_v1")
                found.foreignToplevel = true;
        },
        [](void*, wl_registry*, uint32_t) {
        }};
    wl_registry_add_listener(registry, &listener, &presence);
    wl_display_roundtrip(display.get());
    wl_registry_destroy(registry);
}

} // namespace

Presence Presence::probe(const SessionInfo& session) {
    Presence presence;
    if (session.server() == SessionInfo::Server::x11)
        probeX11(presence);
    if (session.server() != SessionInfo::Server::wayland)
        return presence;
    probeWayland(presence);
    presence.askPortals();
    return presence;
}

Presence Presence::ofX11(xcb_connection_t* connection, quint32 root) {
    Presence presence;
    presence.x11Reachable = true;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
    presence.xtest = xtest && xtest->present;
    const auto atom = [connection](const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection,
                                  xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const xcb_atom_t supported = atom("_NET_SUPPORTED");
    const xcb_atom_t activeWindow = atom("_NET_ACTIVE_WINDOW");
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096),
            nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return presence;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    presence.activeWindowHint = std::find(atoms, atoms + count, activeWindow) != atoms + count;
    return presence;
}

void Presence::askPortals() {
    // Only Wayland needs the portals: asking on X11 could start one for nothing.
    globalShortcutsPortal = PortalSession::interfaceVersion(PortalSession::globalShortcuts);
    remoteDesktopPortal = PortalSession::interfaceVersion(PortalSession::remoteDesktop);
}

Mechanisms Mechanisms::choose(SessionInfo::Server server, const Presence& presence) {
    Mechanisms chosen;
    if (server == SessionInfo::Server::x11 && presence.x11Reachable) {
        chosen.hotkeys = Hotkeys::x11Grabs;
        chosen.keys = presence.xtest ? Keys::xtest : Keys::none;
        chosen.clipboard = chosen.clipboardWithoutFocus = true;
        chosen.windowTracking = presence.activeWindowHint;
        return chosen;
    }
    if (server != SessionInfo::Server::wayland)
        return chosen;
    chosen.hotkeys = presence.globalShortcutsPortal > 0 ? Hotkeys::portal : Hotkeys::none;
    // The compositor's own keyboard needs no permission dialog: prefer it.
    if (presence.virtualKeyboard)
        chosen.keys = Keys::virtualKeyboard;
    else if (presence.remoteDesktopPortal > 0)
        chosen.keys = Keys::portal;
    chosen.clipboard = true;
    chosen.clipboardWithoutFocus = presence.dataControl;
    chosen.windowTracking = presence.foreignToplevel;
    return chosen;
}

CapabilityReport CapabilityReport::build(const SessionInfo& session, const Mechanisms& mechanisms) {
    CapabilityReport report{session, {}};
    const bool wayland = session.server() == SessionInfo::Server::wayland;
    if (session.server() == SessionInfo::Server::none) {
        const QString advice =
            QStringLiteral("Start Orvane inside an X11 or Wayland desktop session.");
        for (const char* title :
             {"Global hotkeys", "Key injection", "Clipboard access", "Window tracking"})
            report.capabilities.append(
                {QString::fromLatin1(title), false, QStringLiteral("no display server"), advice});
        return report;
    }

    Capability hotkeys{QStringLiteral("Global hotkeys"), true, {}, {}};
    switch (mechanisms.hotkeys) {
    case Mechanisms::Hotkeys::x11Grabs:
        hotkeys.means = QStringLiteral("X11 key grabs");
        break;
    case Mechanisms::Hotkeys::portal:
        hotkeys.means = QStringLiteral("the desktop's GlobalShortcuts portal");
        break;
    case Mechanisms::Hotkeys::none:
        hotkeys.available = false;
        hotkeys.means = QStringLiteral("none offered to applications here");
        hotkeys.advice = QStringLiteral(
            "Bind these commands in your desktop's keyboard settings: \"orvane --trigger "
            "widget\" (open with the selected text), \"orvane --trigger toggle\" (show or "
            "hide), \"orvane --trigger prompt:ID\" (run a prompt).");
        break;
    }

    Capability keys{QStringLiteral("Key injection"), true, {}, {}};
    switch (mechanisms.keys) {
    case Mechanisms::Keys::xtest:
        keys.means = QStringLiteral("XTest");
        break;
    case Mechanisms::Keys::portal:
        keys.means = QStringLiteral("the desktop's RemoteDesktop portal (keyboard only)");
        keys.advice = QStringLiteral("The desktop asks once for permission to send keys.");
        break;
    case Mechanisms::Keys::virtualKeyboard:
        keys.means = QStringLiteral("the compositor's virtual keyboard");
        break;
    case Mechanisms::Keys::none:
        keys.available = false;
        keys.means = QStringLiteral("none");
        keys.advice =
            wayland ? QStringLiteral("Orvane cannot copy or paste for you here: copy the text "
                                     "before opening Orvane and paste the answer yourself.")
                    : QStringLiteral("The X server lacks the XTEST extension; enable it.");
        break;
    }

    Capability clipboard{QStringLiteral("Clipboard access"), mechanisms.clipboard, {}, {}};
    if (!wayland)
        clipboard.means = QStringLiteral("X11 selections");
    else if (mechanisms.clipboardWithoutFocus)
        clipboard.means = QStringLiteral("the compositor's data-control protocol");
    else {
        clipboard.means = QStringLiteral("only while an Orvane window has the focus");
        clipboard.advice = QStringLiteral(
            "Orvane reads the copied text once its window is open, and sets the answer "
            "before it closes.");
    }

    Capability windows{QStringLiteral("Window tracking"), mechanisms.windowTracking, {}, {}};
    if (mechanisms.windowTracking) {
        windows.means = wayland ? QStringLiteral("the compositor's toplevel list")
                                : QStringLiteral("the window manager's active window");
    } else {
        windows.means = QStringLiteral("the desktop does not say which window is active");
        windows.advice = QStringLiteral(
            "The answer goes to whichever window gets the focus back when Orvane closes.");
    }
    report.capabilities = {hotkeys, keys, clipboard, windows};
    return report;
}

bool CapabilityReport::allAvailable() const {
    return std::all_of(capabilities.cbegin(), capabilities.cend(),
                       [](const Capability& capability) { return capability.available; });
}

QString CapabilityReport::toText() const {
    const auto orUnset = [](const QString& value) {
        return value.isEmpty() ? QStringLiteral("(unset)") : value;
    };
    QStringList lines;
    const char* server = session.server() == SessionInfo::Server::wayland ? "Wayland"
                         : session.server() == SessionInfo::Server::x11   ? "X11"
                                                                          : "none";
    lines << QStringLiteral("Display server: %1").arg(QLatin1String(server))
          << QStringLiteral("Desktop: %1").arg(orUnset(session.desktop))
          << QStringLiteral("  XDG_SESSION_TYPE=%1 WAYLAND_DISPLAY=%2 DISPLAY=%3")
                 .arg(orUnset(session.sessionType), orUnset(session.waylandDisplay),
                      orUnset(session.display))
          << QString();
    for (const Capability& capability : capabilities) {
        lines << QStringLiteral("%1: %2 (%3)")
                     .arg(capability.title,
                          capability.available ? QStringLiteral("available")
                                               : QStringLiteral("missing"),
                          capability.means);
        if (!capability.advice.isEmpty())
            lines << QStringLiteral("  ") + capability.advice;
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
