#include "settings/settingscustomisationmodel.h"

#include "core/appevents.h"
#include "platform/loginitem.h"
#include "shortcuts/hotkeytext.h"
#include "store/appsettings.h"

#include <QPointer>

SettingsCustomisationModel::SettingsCustomisationModel(AppEvents& events,
                                                       Shortcuts::Registry& hotkeys,
                                                       QObject* parent)
    : QObject(parent)
    , m_events(events) {
    QPointer<SettingsCustomisationModel> self(this);
    m_recorder = new Shortcuts::RecorderControl(
        hotkeys, Shortcuts::Names::windowHotkey(),
        [self](const std::optional<Shortcuts::Shortcut>& shortcut) {
            if (self)
                self->updateWindowHotkey(shortcut);
        },
        this);
}

void SettingsCustomisationModel::updateWindowHotkey(
    const std::optional<Shortcuts::Shortcut>& shortcut) {
    const QString text = shortcut ? Shortcuts::HotkeyText::fromShortcut(*shortcut) : QString();
    AppSettings settings;
    PreferencesSettings preferences = settings.preferencesSettings();
    preferences.windowHotkey = text;
    settings.setPreferencesSettings(preferences);
    Q_EMIT m_events.windowHotkeyChanged();
}

bool SettingsCustomisationModel::launchAtLogin() const {
    return LoginItem::isEnabled();
}

void SettingsCustomisationModel::setLaunchAtLogin(bool enabled) {
    LoginItem::setEnabled(enabled);
    Q_EMIT launchAtLoginChanged();
}
