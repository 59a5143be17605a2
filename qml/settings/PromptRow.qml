import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views

// One prompt in a list: name, hotkey and the enable switch.
Rectangle {
    id: row
    required property int index
    required property string name
    required property string hotkey
    required property bool promptEnabled
    required property bool selected
    signal chosen()
    signal toggled()

    implicitHeight: 36
    radius: 8
    color: selected ? Theme.selectedItem : hover.hovered ? Theme.promptActionBackground : "transparent"

    HoverHandler { id: hover }
    TapHandler { onTapped: row.chosen() }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 8
        spacing: 6
        Label {
            Layout.fillWidth: true
            text: row.name
            elide: Text.ElideRight
            font.pixelSize: 13
            color: Theme.itemText
        }
        Label {
            visible: text !== ""
            text: row.hotkey
            font.pixelSize: 11
            color: Theme.promptsButtonHotkey
        }
        ThemeSwitch {
            checked: row.promptEnabled
            onToggled: row.toggled()
        }
    }
}
