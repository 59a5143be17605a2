#include "app/application.h"

#include "app/applicationcontext.h"
#include "core/logging.h"
#include "platform/platformbackend.h"
#include "service/presetsservice.h"

Application::Application(PlatformBackend& platform, TimerSource& timers, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_timers(timers)
    , m_presetStore(m_userStore,
                    [this](const QString& deviceKey) {
                        return std::make_unique<PresetsService>(deviceKey, m_base);
                    })
    , m_hotkeyLayer(platform.hotkeyGrabber
                        ? std::make_unique<Shortcuts::SystemHotkeys>(*platform.hotkeyGrabber)
                        : nullptr)
    , m_desktopShortcuts(platform.globalShortcuts ? std::make_unique<Shortcuts::DesktopShortcuts>(
                                                        m_hotkeys, *platform.globalShortcuts)
                                                  : nullptr)
    , m_updater(QUrl(QStringLiteral("https://orvane.org/releases"))) {
    m_coordinator = std::make_unique<MainCoordinator>(CoordinatorDependencies{
        m_windowSystem, *m_platform.windowTracker, *m_platform.permissionsManager, m_services,
        m_updater, m_timers, m_events, m_userStore, m_presetStore});

    ApplicationContext context{m_windowSystem, *m_coordinator, m_platform, m_wiring,
                               m_events,       m_timers,       m_base,     m_hotkeys};
    wireWidget(context);
    wireSettings(context);
}

Application::~Application() = default;

void Application::start() {
    qCDebug(lcApplication, "Launching finished");
    m_coordinator->syncUserData([this] {
        // Asked only so that the platform can tell the user what is missing.
        (void)m_platform.permissionsManager->isTrusted(true);
    });
}
