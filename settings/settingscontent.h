#pragma once

#include "settings/capabilitylistmodel.h"
#include "settings/pagemodels.h"
#include "settings/settingscustomisationmodel.h"
#include "settings/settingsviewmodel.h"

#include <QObject>

class AppEvents;
class PresetStoreProtocol;
class TimerSource;

/** The settings window's tabs, in order: Prompts, Account, Customisation, Support. */
class SettingsContent final : public QObject {
    Q_OBJECT
    Q_PROPERTY(SettingsViewModel* prompts READ prompts CONSTANT)
    Q_PROPERTY(SettingsAccountModel* account READ account CONSTANT)
    Q_PROPERTY(SettingsCustomisationModel* customisation READ customisation CONSTANT)
    Q_PROPERTY(SettingsSupportViewModel* support READ support CONSTANT)
    Q_PROPERTY(CapabilityListModel* capabilities READ capabilities CONSTANT)

public:
    SettingsContent(PresetStoreProtocol& store, Shortcuts::Registry& hotkeys, PageContext pages,
                    AppEvents& events, TimerSource& timers, CapabilityReport capabilities = {},
                    QObject* parent = nullptr)
        : QObject(parent)
        , m_prompts(new SettingsViewModel(store, hotkeys, timers, this))
        , m_account(new SettingsAccountModel(pages, events, this))
        , m_customisation(new SettingsCustomisationModel(events, hotkeys, this))
        , m_support(new SettingsSupportViewModel(pages, this))
        , m_capabilities(new CapabilityListModel(std::move(capabilities), this)) {}

    [[nodiscard]] SettingsViewModel* prompts() const { return m_prompts; }
    [[nodiscard]] SettingsAccountModel* account() const { return m_account; }
    [[nodiscard]] SettingsCustomisationModel* customisation() const { return m_customisation; }
    [[nodiscard]] SettingsSupportViewModel* support() const { return m_support; }
    [[nodiscard]] CapabilityListModel* capabilities() const { return m_capabilities; }

private:
    SettingsViewModel* m_prompts;
    SettingsAccountModel* m_account;
    SettingsCustomisationModel* m_customisation;
    SettingsSupportViewModel* m_support;
    CapabilityListModel* m_capabilities;
};
