#include "platform/platformbackend.h"

#include "core/logging.h"
#include "platform/degradedplatform.h"
#include "platform/desktopappearance.h"
#include "platform/qtclipboard.h"
#include "platform/wayland/waylandclipboard.h"
#include "platform/wayland/waylandconnection.h"
#include "platform/wayland/waylandkeyboardmanager.h"
#include "platform/wayland/waylandpermissionsmanager.h"
#include "platform/wayland/waylandwindowtracker.h"
#include "platform/x11/x11clipboardrequests.h"
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
        new X11ClipboardRequests(display, *backend.clipboard);
        backend.windowTracker = std::make_unique<X11WindowTracker>(display, timers);
        backend.keyboardManager = std::make_unique<X11KeyboardManager>(display, timers);
        backend.permissionsManager = std::make_unique<X11PermissionsManager>(display);
        backend.hotkeyGrabber = std::make_unique<X11HotkeyGrabber>(display);
        return backend;
    }

    const std::shared_ptr<WaylandConnection> wayland =
        platform == QLatin1String("wayland") ? WaylandConnection::open() : nullptr;
    if (wayland && wayland->seat()) {
        backend.waylandProtocols = wayland->globals();
        auto tracker = std::make_unique<WaylandWindowTracker>(wayland, timers);
        backend.tracksWindows = tracker->tracksWindows();
        backend.windowTracker = std::move(tracker);
        // Without data control Qt's clipboard serves, while one of our windows has focus.
        if (wayland->dataControlManager())
            backend.clipboard = std::make_unique<WaylandClipboard>(wayland);
        const bool keys = wayland->virtualKeyboardManager() != nullptr;
        if (keys)
            backend.keyboardManager = std::make_unique<WaylandKeyboardManager>(wayland, timers);
        else
            backend.keyboardManager = std::make_unique<UnavailableKeyboardManager>();
        backend.permissionsManager = std::make_unique<WaylandPermissionsManager>(keys);
        backend.hotkeyGrabber = std::make_unique<UnavailableHotkeyGrabber>();
        if (!keys) {
            backend.unavailableReason = QStringLiteral(
                "This Wayland compositor offers no virtual keyboard, so selected text cannot be "
                "captured or replaced.");
            qCCritical(lcApplication, "No virtual keyboard on this Wayland compositor");
        }
        return backend;
    }

    backend.windowTracker = std::make_unique<UnavailableWindowTracker>();
    backend.keyboardManager = std::make_unique<UnavailableKeyboardManager>();
    backend.permissionsManager = std::make_unique<UnavailablePermissionsManager>();
    backend.hotkeyGrabber = std::make_unique<UnavailableHotkeyGrabber>();
    backend.unavailableReason =
        QStringLiteral("Global hotkeys and capturing selected text need an X11 session for "
                       "now; this session uses \"%1\". Log in to an X11 session to use them.")
            .arg(platform);
    qCCritical(lcApplication, "Platform \"%s\" is not X11: global hotkeys and capture are off",
               qUtf8Printable(platform));
    return backend;
}
