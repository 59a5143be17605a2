#include "platform/platformbackend.h"

#include "core/logging.h"
#include "platform/degradedplatform.h"
#include "platform/desktopappearance.h"
#include "platform/qtclipboard.h"
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
