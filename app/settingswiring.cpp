#include "app/applicationcontext.h"
#include "app/maincoordinator.h"
#include "app/qmlwindowsystem.h"
#include "app/traymenu.h"
#include "core/log.h"
#include "core/timer.h"
#include "platform/platformbackend.h"
#include "service/servicebase.h"
#include "settings/authorizationviewmodel.h"
#include "settings/pagemodels.h"
#include "settings/recordercontrol.h"
#include "settings/settingscontent.h"

#include <QCoreApplication>
#include <QPointer>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QScreen>

using AppConstants::Window;

namespace {

QUrl viewUrl(const char* file)
{
    return QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Settings/") + QLatin1String(file));
}

class AuthorizationContent final : public WindowContentProvider {
public:
    explicit AuthorizationContent(PlatformBackend& platform)
        : m_platform(platform)
    {
    }

    QUrl viewUrl() const override { return ::viewUrl("AuthorizationWindow.qml"); }
    std::unique_ptr<QObject> createContent(MainCoordinatorProtocol& coordinator) override
    {
        const ServiceBase& base = ServiceBase::shared();
        return std::make_unique<AuthorizationViewModel>(AuthorizationViewModel::Dependencies{
            coordinator, *m_platform.permissionsManager, base, TimerSource::system(),
            AuthorizationViewModel::serviceSocketFactory(base), AuthorizationViewModel::desktopBrowser()});
    }

private:
    PlatformBackend& m_platform;
};

class HelpCenterContent final : public WindowContentProvider {
public:
    QUrl viewUrl() const override { return ::viewUrl("HelpCenterWindow.qml"); }
    std::unique_ptr<QObject> createContent(MainCoordinatorProtocol& coordinator) override
    {
        return std::make_unique<HelpCenterViewModel>(coordinator, ServiceBase::shared());
    }
};

class NoConnectionContent final : public WindowContentProvider {
public:
    QUrl viewUrl() const override { return ::viewUrl("NoConnectionWindow.qml"); }
    // A static view: it has nothing to bind to.
    std::unique_ptr<QObject> createContent(MainCoordinatorProtocol&) override
    {
        return std::make_unique<QObject>();
    }
};

/** The settings window, created when first opened and kept, like the coordinator's windows. */
class SettingsWindow final : public QObject {
public:
    SettingsWindow(QQmlEngine& engine, MainCoordinator& coordinator, QObject* parent)
        : QObject(parent)
        , m_engine(engine)
        , m_coordinator(coordinator)
    {
        // The window must go before the engine that made it.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { release(); });
    }
    ~SettingsWindow() override { release(); }

    void open()
    {
        if (!m_window && !create())
            return;
        m_coordinator.hideWidget(std::nullopt);
        m_window->show();
        m_window->raise();
        m_window->requestActivate();
    }

private:
    bool create()
    {
        auto content = std::make_unique<SettingsContent>(m_coordinator, ServiceBase::shared(), TimerSource::system());
        QQmlComponent component(&m_engine, viewUrl("SettingsWindow.qml"));
        QObject* root = component.createWithInitialProperties(
            {{QStringLiteral("content"), QVariant::fromValue(content.get())}});
        m_window = qobject_cast<QQuickWindow*>(root);
        if (!m_window) {
            m_logger.error(u"Failed to create the settings window: " + component.errorString());
            delete root;
            return false;
        }
        SettingsViewModel* prompts = content->prompts();
        content.release()->setParent(m_window);
        m_window->setObjectName(AppConstants::rawValue(Window::settingsGroupId));
        if (const QScreen* screen = m_window->screen()) {
            const QRect area = screen->availableGeometry();
            m_window->setPosition(area.x() + (area.width() - m_window->width()) / 2,
                                  area.y() + (area.height() - m_window->height()) / 2);
        }
        prompts->loadPrompts();
        return true;
    }

    void release()
    {
        delete m_window.data();
    }

    QQmlEngine& m_engine;
    MainCoordinator& m_coordinator;
    QPointer<QQuickWindow> m_window;
    const Log m_logger{"application"};
};

} // namespace

void wireSettings(ApplicationContext& context)
{
    PlatformBackend& platform = context.platform;
    Shortcuts::RecorderControl::setSystemCheck([&platform](const Shortcuts::Shortcut& shortcut) {
        return platform.hotkeyGrabber
               && platform.hotkeyGrabber->isTaken(static_cast<int>(shortcut.keyCode), shortcut.modifiers());
    });

    auto* tray = new TrayIcon(context.coordinator, &context.owner);
    Shortcuts::RecorderControl::setApplicationMenu(&tray->appMenu().menu());

    context.windowSystem.setContentProvider(Window::authGroupId, std::make_unique<AuthorizationContent>(platform));
    context.windowSystem.setContentProvider(Window::helpCenterGroupId, std::make_unique<HelpCenterContent>());
    context.windowSystem.setContentProvider(Window::noConnectionGroupId, std::make_unique<NoConnectionContent>());

    auto* settings = new SettingsWindow(context.engine, context.coordinator, &context.owner);
    context.openSettingsWindow = [settings] { settings->open(); };
}
