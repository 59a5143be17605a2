#pragma once

#include "app/maincoordinator.h"
#include "app/productservices.h"
#include "app/qmlwindowsystem.h"
#include "app/updater.h"
#include "core/appevents.h"
#include "service/servicebase.h"
#include "shortcuts/desktopshortcuts.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "store/presetstore.h"
#include "store/userstore.h"

#include <QObject>

struct PlatformBackend;
class TimerSource;

/**
 * Owns everything that lives as long as the process: the events, the stores, the window
 * system with its QML engine, the coordinator with its windows, and the tray and hotkey
 * wiring. Members go in reverse order, so the windows and the wiring are gone before
 * the engine.
 */
class Application final : public QObject {
    Q_OBJECT

public:
    Application(PlatformBackend& platform, TimerSource& timers, QObject* parent = nullptr);
    ~Application() override;

    /** Launching has finished: synchronise the user, then ask for the input permission. */
    void start();

    [[nodiscard]] MainCoordinator& coordinator() { return *m_coordinator; }
    [[nodiscard]] Shortcuts::Registry& hotkeys() { return m_hotkeys; }

private:
    PlatformBackend& m_platform;
    TimerSource& m_timers;
    AppEvents m_events;
    const ServiceBase m_base = ServiceBase::fromEnvironment();
    UserStore m_userStore;
    PresetStore m_presetStore;
    /** Grabs go to the X server when the platform has hotkeys; otherwise nowhere. */
    std::unique_ptr<Shortcuts::SystemHotkeys> m_hotkeyLayer;
    Shortcuts::Registry m_hotkeys{m_hotkeyLayer.get()};
    /** Where the desktop owns the keys, the bound names are offered to it instead. */
    std::unique_ptr<Shortcuts::DesktopShortcuts> m_desktopShortcuts;
    QmlWindowSystem m_windowSystem;
    ProductServices m_services{m_base};
    ReleasesPageUpdater m_updater;
    std::unique_ptr<MainCoordinator> m_coordinator;
    /** Parent of the tray and the hotkey layer. */
    QObject m_wiring;
};
