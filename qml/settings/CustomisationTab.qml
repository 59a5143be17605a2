import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views
import Orvane.Settings.Models

// Launch at login, the widget hotkey, and what works in this desktop session.
Item {
    id: tab
    required property SettingsCustomisationModel model
    required property CapabilityListModel capabilities

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 28
        spacing: 0

        component SettingRow: RowLayout {
            id: settingRow
            property string title
            property string description
            default property alias control: holder.data
            Layout.fillWidth: true
            spacing: 16
            ColumnLayout {
                Layout.preferredWidth: 150
                Layout.alignment: Qt.AlignTop
                Label {
                    text: settingRow.title
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    color: Theme.primaryText
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 8
                Item {
                    id: holder
                    implicitWidth: childrenRect.width
                    implicitHeight: childrenRect.height
                }
                Label {
                    Layout.fillWidth: true
                    text: settingRow.description
                    wrapMode: Text.WordWrap
                    font.pixelSize: 12
                    color: Theme.secondaryText
                }
            }
        }

        SettingRow {
            title: "Launch at login"
            description: "The application will be loaded at login, \nand its functions are available by default after login."
            ThemeSwitch {
                objectName: "launchAtLoginSwitch"
                checked: tab.model.launchAtLogin
                onToggled: tab.model.launchAtLogin = checked
            }
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.topMargin: 22
            Layout.bottomMargin: 22
            implicitHeight: 1
            color: Theme.border
        }
        SettingRow {
            title: "Open Orvane Hotkey"
            description: "Highlight text anywhere and use this hotkey to open Orvane."
            ShortcutRecorder {
                objectName: "windowHotkeyRecorder"
                width: 220
                control: tab.model.windowHotkeyRecorder
            }
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.topMargin: 22
            Layout.bottomMargin: 22
            implicitHeight: 1
            color: Theme.border
        }
        SettingRow {
            title: "This desktop"
            description: tab.capabilities.session
            ColumnLayout {
                objectName: "capabilityReport"
                width: 480
                spacing: 6
                Repeater {
                    model: tab.capabilities
                    delegate: ColumnLayout {
                        id: row
                        required property string title
                        required property bool available
                        required property string means
                        required property string advice
                        Layout.fillWidth: true
                        spacing: 2
                        Label {
                            Layout.fillWidth: true
                            text: (row.available ? "\u2713 " : "\u2717 ") + row.title
                                  + " \u2014 " + row.means
                            wrapMode: Text.WordWrap
                            font.pixelSize: 13
                            color: row.available ? Theme.primaryText : Theme.destructiveButtonTitle
                        }
                        TextEdit {
                            Layout.fillWidth: true
                            visible: row.advice.length > 0
                            text: row.advice
                            readOnly: true
                            selectByMouse: true
                            wrapMode: Text.WordWrap
                            font.pixelSize: 12
                            color: Theme.secondaryText
                        }
                    }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }
}
