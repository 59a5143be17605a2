import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views
import Orvane.Settings.Models

// Every field of the selected prompt, with the temperature.
ColumnLayout {
    id: view
    required property SettingsViewModel model
    signal backRequested()

    spacing: 14

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        ToolButton {
            objectName: "backButton"
            text: "‹"
            font.pixelSize: 22
            palette.buttonText: Theme.primaryText
            onClicked: view.backRequested()
        }
        Label {
            Layout.fillWidth: true
            text: qsTrId("page.settings.advancedEdit")
            font.pixelSize: 18
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
    }

    FieldRow {
        Layout.fillWidth: true
        title: qsTrId("page.settings.name")
        help: qsTrId("page.settings.help.name")
        SettingsTextField {
            width: parent.width
            text: view.model.name
            readOnly: view.model.disablePromptEdit
            onTextEdited: view.model.name = text
        }
    }
    FieldRow {
        Layout.fillWidth: true
        title: qsTrId("page.settings.command")
        help: qsTrId("page.settings.help.command")
        SettingsTextArea {
            width: parent.width
            implicitHeight: 90
            text: view.model.userMessage
            readOnly: view.model.disablePromptEdit
            onEdited: text => view.model.userMessage = text
        }
    }
    FieldRow {
        Layout.fillWidth: true
        title: qsTrId("page.settings.system")
        help: qsTrId("page.settings.help.system")
        SettingsTextArea {
            width: parent.width
            implicitHeight: 90
            text: view.model.systemMessage
            readOnly: view.model.disablePromptEdit
            onEdited: text => view.model.systemMessage = text
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 24
        FieldRow {
            Layout.fillWidth: true
            title: qsTrId("page.settings.temperature")
            help: qsTrId("page.settings.help.temperature")
            Row {
                width: parent.width
                spacing: 10
                ThemeSlider {
                    width: parent.width - 70
                    from: 0.0
                    to: 1.0
                    stepSize: 0.1
                    value: view.model.temperature
                    enabled: !view.model.disablePromptEdit
                    onMoved: view.model.temperature = value
                }
                SettingsTextField {
                    width: 60
                    horizontalAlignment: Text.AlignHCenter
                    text: view.model.temperatureText
                    readOnly: view.model.disablePromptEdit
                    validator: DoubleValidator { bottom: 0.0; top: 1.0; decimals: 1 }
                    onEditingFinished: view.model.temperatureText = text
                }
            }
        }
        FieldRow {
            title: qsTrId("page.settings.hotkey")
            help: qsTrId("page.settings.help.hotkey")
            error: view.model.showTooltipError
            errorText: qsTrId("page.settings.help.hotkey.used")
            ShortcutRecorder {
                width: 200
                control: view.model.hotkeyRecorder
                readOnly: view.model.disablePromptEdit
                error: view.model.showTooltipError
            }
        }
    }

    FieldRow {
        Layout.fillWidth: true
        title: qsTrId("page.settings.review")
        help: qsTrId("page.settings.help.review")
        ThemeSwitch {
            objectName: "reviewSwitch"
            checked: view.model.showChanges
            enabled: view.model.showChangesEditable
            onToggled: view.model.showChanges = checked
        }
    }

    Item { Layout.fillHeight: true }

    PromptButtons {
        Layout.fillWidth: true
        model: view.model
        fromAdvancedView: true
    }
}
