import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvane.Views
import Orvane.Settings.Models

// Launch at login and the widget hotkey.
Item {
    id: tab
    required property SettingsCustomisationModel model

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
        Item { Layout.fillHeight: true }
    }
}
