import QtQuick
import QtQuick.Layouts
import Orvane.Settings.Models

// Duplicate, delete and save, as the form's state allows.
RowLayout {
    id: buttons
    required property SettingsViewModel model
    property bool fromAdvancedView: false

    spacing: 8

    SettingsButton {
        objectName: "duplicateButton"
        text: qsTrId("page.settings.duplicate")
        enabled: buttons.model.isPromptSelected
        onClicked: buttons.model.duplicatePrompt()
    }
    SettingsButton {
        objectName: "deleteButton"
        role: "destructive"
        text: qsTrId("page.settings.deletePrompt")
        enabled: !buttons.model.disablePromptEdit
        onClicked: buttons.model.deletePrompt()
    }
    Item { Layout.fillWidth: true }
    SettingsButton {
        objectName: "saveButton"
        role: buttons.model.formState === "Sent" ? "success" : "primary"
        text: qsTrId(buttons.model.saveButtonTitle)
        enabled: !buttons.model.disablePromptEdit
                 && (buttons.model.isPromptChanged || buttons.model.formState !== "Prompts")
        onClicked: buttons.model.savePrompt(buttons.fromAdvancedView)
    }
}
