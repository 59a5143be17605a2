import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

// One tab of the settings window's tab bar.
Rectangle {
    id: pill
    property string text
    property bool active: false
    signal clicked()

    width: label.implicitWidth + 32
    height: 34
    radius: 8
    color: active ? Theme.selectedItem : hover.hovered ? Theme.promptActionBackground : "transparent"

    Label {
        id: label
        anchors.centerIn: parent
        text: pill.text
        font.pixelSize: 13
        font.weight: pill.active ? Font.DemiBold : Font.Normal
        color: pill.active ? Theme.tabActive : Theme.tabInactive
    }
    HoverHandler { id: hover }
    TapHandler { onTapped: pill.clicked() }
}
