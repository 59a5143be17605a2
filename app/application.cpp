#include "app/application.h"

#include "app/applicationcontext.h"
#include "platform/platformbackend.h"
#include "store/userstore.h"

Application::Application(PlatformBackend& platform, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_updater(QUrl(QStringLiteral("https://orvane.org/releases"))) {
    // The views import their modules by name; Qt 6.4 does not search the resources by itself.
    m_engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    CoordinatorDependencies deps{m_windowSystem,
                                 *m_platform.windowTracker,
                                 *m_platform.permissionsManager,
                                 *m_platform.appearance,
                                 m_services,
                                 m_updater,
                                 TimerSource::system(),
                                 [this] {
                                     if (m_openSettingsWindow)
                                         m_openSettingsWindow();
                                 }};
    m_coordinator = std::make_unique<MainCoordinator>(deps, std::make_unique<UserStore>());

    ApplicationContext context{m_engine,   m_windowSystem, *m_coordinator,
                               m_platform, *this,          m_openSettingsWindow};
    wireWidget(context);
    wireSettings(context);
}

Application::~Application() = default;

void Application::start() {
    m_logger.debug(QStringLiteral("applicationDidFinishLaunching(_:)"));
    m_coordinator->syncUserData([this] {
        // Asked only so that the platform can tell the user what is missing.
        (void)m_platform.permissionsManager->isTrusted(true);
    });
}
