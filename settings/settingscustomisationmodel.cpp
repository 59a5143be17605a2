#include "settings/settingscustomisationmodel.h"

#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "platform/loginitem.h"
#include "shortcuts/hotkeytext.h"
#include "store/appsettings.h"

SettingsCustomisationModel::SettingsCustomisationModel(QObject* parent)
    : QObject(parent)
    , m_recorder(new Shortcuts::RecorderControl(Shortcuts::Names::windowHotkey(), &updateWindowHotkey, this))
{
    connect(&LoginItem::Observable::shared(), &LoginItem::Observable::isEnabledChanged, this,
            &SettingsCustomisationModel::launchAtLoginChanged);
}

void SettingsCustomisationModel::updateWindowHotkey(const std::optional<Shortcuts::Shortcut>& shortcut)
{
    const QString text = shortcut ? Shortcuts::HotkeyText::fromShortcut(*shortcut) : QString();
    AppSettings settings;
    PreferencesSettings preferences = settings.preferencesSettings();
    preferences.windowHotkey = text;
    settings.setPreferencesSettings(preferences);
    NotificationCenter::defaultCenter().post(Notifications::windowHotkeyUpdated);
}

bool SettingsCustomisationModel::launchAtLogin() const
{
    return LoginItem::Observable::shared().isEnabled();
}

void SettingsCustomisationModel::setLaunchAtLogin(bool enabled)
{
    LoginItem::Observable::shared().setEnabled(enabled);
}
