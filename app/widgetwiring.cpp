#include "app/applicationcontext.h"
#include "app/maincoordinator.h"
#include "app/qmlwindowsystem.h"
#include "app/windowcontent.h"
#include "core/appconstants.h"
#include "core/appevents.h"
#include "platform/platformbackend.h"
#include "service/textsservice.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "store/appsettings.h"
#include "store/userstore.h"
#include "widget/widgetcontent.h"

namespace {

/** The widget window's view and models; nothing is built until a user is signed in. */
class WidgetContentProvider final : public WindowContentProvider {
public:
    WidgetContentProvider(ApplicationContext& context, Shortcuts::Registry& hotkeys)
        : m_coordinator(context.coordinator)
        , m_platform(context.platform)
        , m_events(context.events)
        , m_timers(context.timers)
        , m_base(context.base)
        , m_hotkeys(hotkeys) {}

    QUrl viewUrl() const override {
        return QUrl(QStringLiteral("qrc:/qt/qml/Orvane/Widget/WidgetWindow.qml"));
    }

    std::unique_ptr<QObject> createContent() override {
        if (!m_coordinator.getUserStore().user())
            return nullptr;
        return std::make_unique<WidgetContent>(WidgetContent::Dependencies{
            m_coordinator, m_coordinator.getUserStore(), m_coordinator.getPresetStore(), m_events,
            *m_platform.windowTracker, *m_platform.keyboardManager, *m_platform.clipboard, m_timers,
            [&base = m_base](const QString& token) {
                return std::make_unique<TextsService>(token, base);
            },
            m_hotkeys, m_platform.appearance->hasCompositor()});
    }

private:
    MainCoordinator& m_coordinator;
    PlatformBackend& m_platform;
    AppEvents& m_events;
    TimerSource& m_timers;
    const ServiceBase& m_base;
    Shortcuts::Registry& m_hotkeys;
};

} // namespace

void wireWidget(ApplicationContext& context) {
    // The widget hotkey follows the preferences; the toggle has a fixed default.
    const QString windowHotkey =
        AppSettings().preferencesSettings().windowHotkey.value_or(AppSettings::defaultWindowHotkey);
    context.hotkeys.resetToDefaults(
        {Shortcuts::Names::windowHotkey(Shortcuts::HotkeyText::toShortcut(windowHotkey)),
         Shortcuts::Names::windowToggleHotkey()});
    context.windowSystem.setContentProvider(
        AppConstants::Window::mainGroupId,
        std::make_unique<WidgetContentProvider>(context, context.hotkeys));
}
