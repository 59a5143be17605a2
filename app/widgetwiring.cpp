#include "app/applicationcontext.h"
#include "app/maincoordinator.h"
#include "app/qmlwindowsystem.h"
#include "app/windowcontent.h"
#include "core/appconstants.h"
#include "core/appevents.h"
#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "platform/platformbackend.h"
#include "service/textsservice.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "store/appsettings.h"
#include "store/presetstoreprotocol.h"
#include "store/userstore.h"
#include "widget/widgetcontent.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Orvane_WidgetPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_Widget_ModelsPlugin)

namespace {

/** The widget window's view and models; nothing is built until a user is signed in. */
class WidgetContentProvider final : public WindowContentProvider {
public:
    WidgetContentProvider(MainCoordinator& coordinator, PlatformBackend& platform,
                          TimerSource& timers, const ServiceBase& base)
        : m_coordinator(coordinator)
        , m_platform(platform)
        , m_timers(timers)
        , m_base(base) {}

    QUrl viewUrl() const override {
        return QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Widget/WidgetWindow.qml"));
    }

    std::unique_ptr<QObject> createContent() override {
        MainCoordinator& coordinator = m_coordinator;
        if (!coordinator.getUserStore().user())
            return nullptr;
        const QString hotkey = AppSettings().preferencesSettings().windowHotkey.value_or(
            AppSettings::defaultWindowHotkey);
        MainCoordinator& owner = m_coordinator;
        return std::make_unique<WidgetContent>(WidgetContent::Dependencies{
            coordinator, *m_platform.windowTracker, *m_platform.keyboardManager,
            *m_platform.clipboard, m_timers,
            [&base = m_base](const QString& token) {
                return std::make_unique<TextsService>(token, base);
            },
            hotkey,
            [&owner](int height) {
                owner.resizeWidget(height);
            }});
    }

private:
    MainCoordinator& m_coordinator;
    PlatformBackend& m_platform;
    TimerSource& m_timers;
    const ServiceBase& m_base;
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
    // Until the widget listens to the typed events itself.
    QObject* bridge = &context.owner;
    QObject::connect(&context.events, &AppEvents::widgetHidden, bridge, [] {
        NotificationCenter::defaultCenter().post(Notifications::widgetHideRequested);
    });
    QObject::connect(&context.events, &AppEvents::hotkeysRefreshRequested, bridge, [] {
        NotificationCenter::defaultCenter().post(Notifications::updateHotkeysRequested);
    });
    QObject::connect(&context.coordinator.getPresetStore(), &PresetStoreProtocol::changed, bridge,
                     [] { NotificationCenter::defaultCenter().post(Notifications::promptsUpdated); });
    if (context.platform.hotkeyGrabber)
        new HotkeyLayer(*context.platform.hotkeyGrabber, &context.owner);
    context.windowSystem.setContentProvider(
        AppConstants::Window::mainGroupId,
        std::make_unique<WidgetContentProvider>(context.coordinator, context.platform,
                                                context.timers, context.base));
}
