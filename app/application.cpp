#include "app/application.h"

#include "platform/permissionsmanager.h"
#include "store/userstore.h"

#include <QQmlComponent>

Application::Application(ApplicationPlatform platform, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_updater(QUrl(QStringLiteral("https://orvane.org/releases")))
{
    CoordinatorDependencies deps{m_windowSystem,       m_platform.windowTracker,
                                 m_platform.permissions, m_platform.appearance,
                                 m_services,           m_updater,
                                 TimerSource::system(), [this] { openSettingsWindow(); }};
    m_coordinator = std::make_unique<MainCoordinator>(deps, std::make_unique<UserStore>());
}

Application::~Application()
{
    delete m_settingsWindow.data();
}

void Application::start()
{
    m_logger.debug(QStringLiteral("applicationDidFinishLaunching(_:)"));
    m_coordinator->syncUserData([this] {
        // Asked only so that the platform can tell the user what is missing.
        (void)m_platform.permissions.isTrusted(true);
    });
}

void Application::openSettingsWindow()
{
    if (!m_settingsWindow) {
        QQmlComponent component(&m_engine, QmlWindowSystem::viewUrl(AppConstants::Window::settingsGroupId));
        m_settingsWindow = qobject_cast<QQuickWindow*>(component.create());
        if (!m_settingsWindow) {
            m_logger.error(u"Failed to create the settings window: " + component.errorString());
            return;
        }
    }
    m_coordinator->hideWidget(std::nullopt);
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->requestActivate();
}
