import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views
import Orvane.Settings.Models

// The prompt lists beside a short form for the selected prompt.
RowLayout {
    id: view
    required property SettingsViewModel model
    signal advancedRequested()

    spacing: 0

    Rectangle {
        Layout.preferredWidth: 270
        Layout.fillHeight: true
        color: Theme.promptsBackground

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 12
            spacing: 6

            ScrollView {
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                contentWidth: availableWidth

                Column {
                    width: parent.width
                    spacing: 2

                    Label {
                        text: qsTrId("page.settings.standardPrompt")
                        font.pixelSize: 11
                        font.weight: Font.DemiBold
                        font.capitalization: Font.AllUppercase
                        color: Theme.secondaryText
                        bottomPadding: 4
                    }
                    Repeater {
                        model: view.model.globalPrompts
                        delegate: PromptRow {
                            width: parent.width
                        }
                        onItemAdded: (index, item) => {
                            item.chosen.connect(() => view.model.globalPrompts.choose(item.index))
                            item.toggled.connect(() => view.model.globalPrompts.toggle(item.index))
                        }
                    }
                    Item { width: 1; height: 12 }
                    Label {
                        text: qsTrId("page.settings.customPrompt")
                        font.pixelSize: 11
                        font.weight: Font.DemiBold
                        font.capitalization: Font.AllUppercase
                        color: Theme.secondaryText
                        bottomPadding: 4
                    }
                    Repeater {
                        model: view.model.userPrompts
                        delegate: PromptRow {
                            width: parent.width
                        }
                        onItemAdded: (index, item) => {
                            item.chosen.connect(() => view.model.userPrompts.choose(item.index))
                            item.toggled.connect(() => view.model.userPrompts.toggle(item.index))
                        }
                    }
                }
            }
            SettingsButton {
                objectName: "addPromptButton"
                Layout.fillWidth: true
                role: "primary"
                text: "+  " + qsTrId("page.settings.addPrompt")
                enabled: view.model.formState === "Prompts"
                onClicked: view.model.addPrompt()
            }
        }
    }

    Rectangle {
        Layout.preferredWidth: 1
        Layout.fillHeight: true
        color: Theme.border
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.fillHeight: true
        Layout.margins: 20
        spacing: 16

        RowLayout {
            Layout.fillWidth: true
            Label {
                Layout.fillWidth: true
                text: view.model.name !== "" ? view.model.name : qsTrId("page.settings")
                elide: Text.ElideRight
                font.pixelSize: 18
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            ToolButton {
                objectName: "advancedButton"
                text: "⚙"
                font.pixelSize: 16
                palette.buttonText: Theme.primaryText
                enabled: view.model.isPromptSelected
                onClicked: view.advancedRequested()
                ToolTip.visible: hovered
                ToolTip.text: qsTrId("page.settings.advancedEdit")
            }
        }

        FieldRow {
            Layout.fillWidth: true
            title: qsTrId("page.settings.name")
            help: qsTrId("page.settings.help.name")
            SettingsTextField {
                objectName: "nameField"
                width: parent.width
                text: view.model.name
                readOnly: view.model.disablePromptEdit
                onTextEdited: view.model.name = text
            }
        }
        FieldRow {
            Layout.fillWidth: true
            title: qsTrId("page.settings.system")
            help: qsTrId("page.settings.help.system")
            SettingsTextArea {
                width: parent.width
                implicitHeight: 120
                text: view.model.systemMessage
                readOnly: view.model.disablePromptEdit
                onEdited: text => view.model.systemMessage = text
            }
        }
        FieldRow {
            Layout.fillWidth: true
            title: qsTrId("page.settings.hotkey")
            help: qsTrId("page.settings.help.hotkey")
            error: view.model.showTooltipError
            errorText: qsTrId("page.settings.help.hotkey.used")
            ShortcutRecorder {
                objectName: "promptHotkeyRecorder"
                width: 220
                control: view.model.hotkeyRecorder
                readOnly: view.model.disablePromptEdit
                error: view.model.showTooltipError
            }
        }

        Item { Layout.fillHeight: true }

        PromptButtons {
            Layout.fillWidth: true
            model: view.model
            fromAdvancedView: false
        }
    }
}
