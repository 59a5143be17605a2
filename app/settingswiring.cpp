#include "app/applicationcontext.h"
#include "app/maincoordinator.h"
#include "app/qmlwindowsystem.h"
#include "app/traymenu.h"
#include "platform/platformbackend.h"
#include "settings/authorizationviewmodel.h"
#include "settings/pagemodels.h"
#include "settings/recordercontrol.h"
#include "settings/settingscontent.h"

using AppConstants::Window;

namespace {

QUrl viewUrl(const char* file) {
    return QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Settings/") + QLatin1String(file));
}

/** A window kind with a fixed view and a content built by a function. */
class FunctionContent final : public WindowContentProvider {
public:
    using Make = std::function<std::unique_ptr<QObject>()>;

    FunctionContent(const char* view, Make make)
        : m_view(::viewUrl(view))
        , m_make(std::move(make)) {}

    QUrl viewUrl() const override { return m_view; }
    std::unique_ptr<QObject> createContent() override { return m_make(); }

private:
    QUrl m_view;
    Make m_make;
};

} // namespace

void wireSettings(ApplicationContext& context) {
    PlatformBackend& platform = context.platform;
    MainCoordinator& coordinator = context.coordinator;
    AppEvents& events = context.events;
    TimerSource& timers = context.timers;
    const ServiceBase& base = context.base;
    // The lambdas below outlive context: they hold the long-lived objects themselves.
    Shortcuts::Registry& hotkeys = context.hotkeys;
    const PageContext pages{coordinator.getUserStore(), *platform.appearance, base};

    Shortcuts::RecorderControl::setSystemCheck([&platform](const Shortcuts::Shortcut& shortcut) {
        return platform.hotkeyGrabber &&
               platform.hotkeyGrabber->isTaken(static_cast<int>(shortcut.keyCode),
                                               shortcut.modifiers());
    });

    auto* tray = new TrayIcon(coordinator, events, &context.owner);
    Shortcuts::RecorderControl::setApplicationMenu(&tray->appMenu());

    QmlWindowSystem& windows = context.windowSystem;
    windows.setContentProvider(
        Window::authGroupId,
        std::make_unique<FunctionContent>("AuthorizationWindow.qml", [&, pages]() {
            return std::make_unique<AuthorizationViewModel>(AuthorizationViewModel::Dependencies{
                coordinator.getUserStore(), coordinator, events, pages,
                *platform.permissionsManager, timers,
                AuthorizationViewModel::serviceSocketFactory(base, timers),
                AuthorizationViewModel::desktopBrowser()});
        }));
    windows.setContentProvider(
        Window::helpCenterGroupId,
        std::make_unique<FunctionContent>("HelpCenterWindow.qml", [&, pages]() {
            return std::make_unique<HelpCenterViewModel>(pages, coordinator, events);
        }));
    // A static view: it has nothing to bind to.
    windows.setContentProvider(Window::noConnectionGroupId,
                               std::make_unique<FunctionContent>("NoConnectionWindow.qml", [] {
                                   return std::make_unique<QObject>();
                               }));
    windows.setContentProvider(
        Window::settingsGroupId,
        std::make_unique<FunctionContent>("SettingsWindow.qml", [&, pages]() {
            return std::make_unique<SettingsContent>(coordinator.getPresetStore(), hotkeys, pages,
                                                     events, timers, platform.report());
        }));
}
