import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

// The info icon beside a field; hovering it shows the field's help text.
Item {
    id: tip
    property string text
    property bool error: false
    property bool forced: false

    implicitWidth: 16
    implicitHeight: 16

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: "transparent"
        border.color: tip.error ? Theme.destructiveButtonTitle : Theme.secondaryText
        border.width: 1.2
        Label {
            anchors.centerIn: parent
            text: tip.error ? "!" : "i"
            font.pixelSize: 10
            font.weight: Font.Bold
            color: tip.error ? Theme.destructiveButtonTitle : Theme.secondaryText
        }
    }
    HoverHandler { id: hover }

    ToolTip {
        visible: hover.hovered || tip.forced
        text: tip.text
        delay: tip.forced ? 0 : 300
        contentItem: Label {
            text: tip.text
            wrapMode: Text.WordWrap
            color: tip.error ? Theme.destructiveButtonTitle : Theme.tooltipTextColor
        }
        background: Rectangle {
            radius: 6
            color: tip.error ? Theme.destructiveButtonBackground : Theme.tooltipBackgroundColor
        }
    }
}
