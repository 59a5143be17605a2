#pragma once

#include "platform/appearance.h"
#include "platform/clipboard.h"
#include "platform/hotkeygrabber.h"
#include "platform/keyboardmanager.h"
#include "platform/permissionsmanager.h"
#include "platform/windowtracker.h"

#include <QString>

#include <memory>

class TimerSource;

/**
 * Every platform capability, from the one place that decides how they are provided:
 * X11 when the application runs on xcb, otherwise a degraded set in which global
 * hotkeys, capture and paste do nothing and unavailableReason says why. Create it
 * after the QGuiApplication and destroy it before.
 */
struct PlatformBackend {
    std::unique_ptr<WindowTrackerProtocol> windowTracker;
    std::unique_ptr<KeyboardManagerProtocol> keyboardManager;
    std::unique_ptr<ClipboardProtocol> clipboard;
    std::unique_ptr<PermissionsManagerProtocol> permissionsManager;
    std::unique_ptr<AppearanceProtocol> appearance;
    std::unique_ptr<HotkeyGrabberProtocol> hotkeyGrabber;
    /** Empty when everything works; otherwise a sentence for the user. */
    QString unavailableReason;

    [[nodiscard]] bool isComplete() const { return unavailableReason.isEmpty(); }

    /** Chooses by QGuiApplication::platformName(); logs when it has to degrade. */
    static PlatformBackend create(TimerSource& timers);
};
