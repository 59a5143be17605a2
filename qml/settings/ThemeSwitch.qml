import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

// An on/off switch in the theme's colours.
Switch {
    id: control
    implicitWidth: indicator.implicitWidth
    implicitHeight: indicator.implicitHeight
    padding: 0
    spacing: 0
    hoverEnabled: true

    indicator: Rectangle {
        implicitWidth: 36
        implicitHeight: 20
        radius: height / 2
        color: control.checked ? Theme.primaryButtonBackground : Theme.disabledButtonBackground
        border.color: control.checked ? Theme.primaryButtonBackground : Theme.border
        opacity: control.enabled ? 1 : 0.5
        Behavior on color { ColorAnimation { duration: 120 } }

        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            radius: 8
            color: "#ffffff"
            border.color: Qt.rgba(0, 0, 0, 0.12)
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    contentItem: Item {}
}
