#pragma once

#include "platform/appearance.h"
#include "platform/clipboard.h"
#include "platform/hotkeygrabber.h"
#include "platform/keyboardmanager.h"
#include "platform/permissionsmanager.h"
#include "platform/windowtracker.h"

#include <QString>
#include <QStringList>

#include <memory>

class TimerSource;

/**
 * Every platform capability, from the one place that decides how they are provided:
 * X11 when the application runs on xcb, the wlroots protocols on Wayland where the
 * compositor offers them, otherwise a degraded set in which global hotkeys, capture
 * and paste do nothing and unavailableReason says why. Create it
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
    /** On Wayland, the interfaces the compositor offers; empty elsewhere. */
    QStringList waylandProtocols;
    /** False where the paste goes to whatever window regains the focus, unnamed. */
    bool tracksWindows = true;

    [[nodiscard]] bool isComplete() const { return unavailableReason.isEmpty(); }

    /** Chooses by QGuiApplication::platformName(); logs when it has to degrade. */
    static PlatformBackend create(TimerSource& timers);
};
