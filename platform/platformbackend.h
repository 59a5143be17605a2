#pragma once

#include "platform/appearance.h"
#include "platform/capabilities.h"
#include "platform/clipboard.h"
#include "platform/globalshortcuts.h"
#include "platform/hotkeygrabber.h"
#include "platform/keyboardmanager.h"
#include "platform/permissionsmanager.h"
#include "platform/windowtracker.h"

#include <QString>

#include <memory>

class TimerSource;

/**
 * Every platform capability, from the one place that decides how they are provided:
 * X11 when the application runs on xcb; on Wayland the wlroots protocols where the
 * compositor offers them and the desktop portals where the session bus has them; for
 * the rest a degraded set that does nothing, which the capability report describes. Create it after
 * the QGuiApplication and destroy it before.
 */
struct PlatformBackend {
    std::unique_ptr<WindowTrackerProtocol> windowTracker;
    std::unique_ptr<KeyboardManagerProtocol> keyboardManager;
    std::unique_ptr<ClipboardProtocol> clipboard;
    std::unique_ptr<PermissionsManagerProtocol> permissionsManager;
    std::unique_ptr<AppearanceProtocol> appearance;
    std::unique_ptr<HotkeyGrabberProtocol> hotkeyGrabber;
    /** Set where the desktop owns the shortcut keys (the GlobalShortcuts portal). */
    std::unique_ptr<GlobalShortcutsProtocol> globalShortcuts;
    /** What was chosen, for the capability report. */
    Mechanisms mechanisms;
    /** Empty when everything works; otherwise a sentence for the user. */
    QString unavailableReason;

    [[nodiscard]] CapabilityReport report() const {
        return CapabilityReport::build(SessionInfo::fromEnvironment(), mechanisms);
    }

    [[nodiscard]] bool isComplete() const { return unavailableReason.isEmpty(); }

    /** Chooses by QGuiApplication::platformName(); logs when it has to degrade. */
    static PlatformBackend create(TimerSource& timers);
};
