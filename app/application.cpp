#include "app/application.h"

#include "app/applicationcontext.h"
#include "platform/platformbackend.h"
#include "store/userstore.h"

#include <QQmlComponent>

Application::Application(PlatformBackend& platform, QObject* parent)
    : QObject(parent)
    , m_platform(platform)
    , m_updater(QUrl(QStringLiteral("https://orvane.org/releases")))
{
    m_openSettingsWindow = [this] { openPlaceholderSettingsWindow(); };
    CoordinatorDependencies deps{m_windowSystem,
                                 *m_platform.windowTracker,
                                 *m_platform.permissionsManager,
                                 *m_platform.appearance,
                                 m_services,
                                 m_updater,
                                 TimerSource::system(),
                                 [this] { m_openSettingsWindow(); }};
    m_coordinator = std::make_unique<MainCoordinator>(deps, std::make_unique<UserStore>());

    ApplicationContext context{m_engine,   m_windowSystem, *m_coordinator,
                               m_platform, *this,          m_openSettingsWindow};
    wireWidget(context);
    wireSettings(context);
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
        (void)m_platform.permissionsManager->isTrusted(true);
    });
}

void Application::openPlaceholderSettingsWindow()
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
