#pragma once

#include "settings/authorizationviewmodel.h"
#include "settings/capabilitylistmodel.h"
#include "settings/pagemodels.h"
#include "settings/recordercontrol.h"
#include "settings/settingscontent.h"
#include "settings/settingscustomisationmodel.h"
#include "settings/settingspromptlistmodel.h"
#include "settings/settingsviewmodel.h"

#include <QtQml/qqml.h>

// The settings, sign-in and help models as the views know them; declared beside the
// views for the same reason as the widget's.

struct ForeignAuthorizationViewModel {
    Q_GADGET
    QML_FOREIGN(AuthorizationViewModel)
    QML_NAMED_ELEMENT(AuthorizationViewModel)
    QML_UNCREATABLE("Created with the sign-in window")
};

struct ForeignCapabilityListModel {
    Q_GADGET
    QML_FOREIGN(CapabilityListModel)
    QML_NAMED_ELEMENT(CapabilityListModel)
    QML_UNCREATABLE("Created by the settings window")
};

struct ForeignSettingsAccountModel {
    Q_GADGET
    QML_FOREIGN(SettingsAccountModel)
    QML_NAMED_ELEMENT(SettingsAccountModel)
    QML_UNCREATABLE("Created by the settings window")
};

struct ForeignSettingsSupportViewModel {
    Q_GADGET
    QML_FOREIGN(SettingsSupportViewModel)
    QML_NAMED_ELEMENT(SettingsSupportViewModel)
    QML_UNCREATABLE("Created by the settings window")
};

struct ForeignHelpCenterViewModel {
    Q_GADGET
    QML_FOREIGN(HelpCenterViewModel)
    QML_NAMED_ELEMENT(HelpCenterViewModel)
    QML_UNCREATABLE("Created by the help window")
};

struct ForeignRecorderControl {
    Q_GADGET
    QML_FOREIGN(Shortcuts::RecorderControl)
    QML_NAMED_ELEMENT(RecorderControl)
    QML_UNCREATABLE("Created by the view models")
};

struct ForeignSettingsContent {
    Q_GADGET
    QML_FOREIGN(SettingsContent)
    QML_NAMED_ELEMENT(SettingsContent)
    QML_UNCREATABLE("Created with the settings window")
};

struct ForeignSettingsCustomisationModel {
    Q_GADGET
    QML_FOREIGN(SettingsCustomisationModel)
    QML_NAMED_ELEMENT(SettingsCustomisationModel)
    QML_UNCREATABLE("Created by the settings window")
};

struct ForeignSettingsPromptListModel {
    Q_GADGET
    QML_FOREIGN(SettingsPromptListModel)
    QML_NAMED_ELEMENT(SettingsPromptListModel)
    QML_UNCREATABLE("Owned by the prompt editor")
};

struct ForeignSettingsViewModel {
    Q_GADGET
    QML_FOREIGN(SettingsViewModel)
    QML_NAMED_ELEMENT(SettingsViewModel)
    QML_UNCREATABLE("Created by the settings window")
};
