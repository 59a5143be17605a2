#include "platform/platformbackend.h"

#include "core/logging.h"
#include "platform/degradedplatform.h"
#include "platform/desktopappearance.h"
#include "platform/portal/portalglobalshortcuts.h"
#include "platform/portal/portalkeyboard.h"
#include "platform/qtclipboard.h"
#include "platform/wayland/waylandclipboard.h"
#include "platform/wayland/waylandconnection.h"
#include "platform/wayland/waylandkeyboardmanager.h"
#include "platform/wayland/waylandpermissionsmanager.h"
#include "platform/wayland/waylandwindowtracker.h"
#include "platform/x11/x11clipboard.h"
#include "platform/x11/x11display.h"
#include "platform/x11/x11hotkeygrabber.h"
#include "platform/x11/x11keyboardmanager.h"
#include "platform/x11/x11permissionsmanager.h"
#include "platform/x11/x11windowtracker.h"

#include <QGuiApplication>

PlatformBackend PlatformBackend::create(TimerSource& timers) {
    PlatformBackend backend;
    backend.clipboard = std::make_unique<QtClipboard>();
    const QString platform = QGuiApplication::platformName();
    std::shared_ptr<X11Display> display =
        platform == QLatin1String("xcb") ? X11Display::fromApplication() : nullptr;
    backend.appearance = std::make_unique<DesktopAppearance>(display);
    if (display) {
        backend.clipboard = std::make_unique<X11Clipboard>(display);
        backend.windowTracker = std::make_unique<X11WindowTracker>(display, timers);
        backend.keyboardManager = std::make_unique<X11KeyboardManager>(display, timers);
        backend.permissionsManager = std::make_unique<X11PermissionsManager>(display);
        backend.hotkeyGrabber = std::make_unique<X11HotkeyGrabber>(display);
        backend.mechanisms = Mechanisms::choose(
            SessionInfo::Server::x11, Presence::ofX11(display->connection(), display->root()));
        return backend;
    }

    const SessionInfo::Server server = platform == QLatin1String("wayland")
                                           ? SessionInfo::Server::wayland
                                           : SessionInfo::Server::none;
    const std::shared_ptr<WaylandConnection> wayland =
        server == SessionInfo::Server::wayland ? WaylandConnection::open() : nullptr;
    // The connection just opened already lists the compositor's globals: no second one.
    Presence presence;
    if (wayland) {
        presence.virtualKeyboard = wayland->virtualKeyboardManager() != nullptr;
        presence.dataControl = wayland->dataControlManager() != nullptr;
        presence.foreignToplevel = wayland->toplevelManager() != nullptr;
        presence.askPortals();
    }
    backend.mechanisms = Mechanisms::choose(server, presence);
    if (backend.mechanisms.hotkeys == Mechanisms::Hotkeys::portal)
        backend.globalShortcuts = std::make_unique<PortalGlobalShortcuts>();
    if (wayland && wayland->seat()) {
        auto tracker = std::make_unique<WaylandWindowTracker>(wayland, timers);
        backend.mechanisms.windowTracking = tracker->tracksWindows();
        backend.windowTracker = std::move(tracker);
        // Without data control Qt's clipboard serves, while one of our windows has focus.
        if (wayland->dataControlManager())
            backend.clipboard = std::make_unique<WaylandClipboard>(wayland);
        if (backend.mechanisms.keys == Mechanisms::Keys::virtualKeyboard &&
            wayland->virtualKeyboardManager())
            backend.keyboardManager = std::make_unique<WaylandKeyboardManager>(wayland, timers);
    }
    if (backend.mechanisms.keys == Mechanisms::Keys::portal)
        backend.keyboardManager = std::make_unique<PortalKeyboard>(timers);
    if (!backend.keyboardManager) {
        backend.keyboardManager = std::make_unique<UnavailableKeyboardManager>();
        backend.mechanisms.keys = Mechanisms::Keys::none;
    }
    if (!backend.windowTracker) {
        backend.windowTracker = std::make_unique<UnavailableWindowTracker>();
        backend.mechanisms.windowTracking = false;
    }
    if (wayland)
        backend.permissionsManager = std::make_unique<WaylandPermissionsManager>(
            backend.mechanisms.keys != Mechanisms::Keys::none);
    else
        backend.permissionsManager = std::make_unique<UnavailablePermissionsManager>();
    backend.hotkeyGrabber = std::make_unique<UnavailableHotkeyGrabber>();
    const CapabilityReport report = backend.report();
    if (!report.allAvailable()) {
        backend.unavailableReason = QStringLiteral(
            "Some features are limited in this session; the settings window and \"orvane "
            "--check\" say what to do.");
        qCWarning(lcApplication, "Platform \"%s\": %s", qUtf8Printable(platform),
                  qUtf8Printable(report.toText()));
    }
    return backend;
}
