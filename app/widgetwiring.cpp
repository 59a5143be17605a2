#include "app/applicationcontext.h"
#include "app/maincoordinator.h"
#include "app/qmlwindowsystem.h"
#include "app/windowcontent.h"
#include "core/appconstants.h"
#include "platform/platformbackend.h"
#include "service/textsservice.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "store/appsettings.h"
#include "store/userstore.h"
#include "widget/widgetcontent.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Orvane_WidgetPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_Widget_ModelsPlugin)

namespace {

/** The widget window's view and models; nothing is built until a user is signed in. */
class WidgetContentProvider final : public WindowContentProvider {
public:
    WidgetContentProvider(MainCoordinator& coordinator, PlatformBackend& platform)
        : m_coordinator(coordinator)
        , m_platform(platform) {}

    QUrl viewUrl() const override {
        return QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Widget/WidgetWindow.qml"));
    }

    std::unique_ptr<QObject> createContent(MainCoordinatorProtocol& coordinator) override {
        if (!coordinator.getUserStore().user())
            return nullptr;
        const QString hotkey = AppSettings().preferencesSettings().windowHotkey.value_or(
            AppSettings::defaultWindowHotkey);
        MainCoordinator& owner = m_coordinator;
        return std::make_unique<WidgetContent>(WidgetContent::Dependencies{
            coordinator, *m_platform.windowTracker, *m_platform.keyboardManager,
            *m_platform.clipboard, TimerSource::system(),
            [](const QString& token) { return std::make_unique<TextsService>(token); }, hotkey,
            [&owner](int height) {
                owner.resizeWidget(height);
            }});
    }

private:
    MainCoordinator& m_coordinator;
    PlatformBackend& m_platform;
};

/** Keeps the system hotkey layer alive as long as the application and detaches it after. */
class HotkeyLayer final : public QObject {
public:
    HotkeyLayer(HotkeyGrabberProtocol& grabber, QObject* parent)
        : QObject(parent)
        , m_hotkeys(grabber) {
        Shortcuts::setSystemHotkeys(&m_hotkeys);
    }
    ~HotkeyLayer() override { Shortcuts::setSystemHotkeys(nullptr); }

private:
    Shortcuts::SystemHotkeys m_hotkeys;
};

} // namespace

void wireWidget(ApplicationContext& context) {
    if (context.platform.hotkeyGrabber)
        new HotkeyLayer(*context.platform.hotkeyGrabber, &context.owner);
    context.windowSystem.setContentProvider(
        AppConstants::Window::mainGroupId,
        std::make_unique<WidgetContentProvider>(context.coordinator, context.platform));
}
