import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

// A flat, rounded button in one of the theme's roles.
Button {
    id: control

    // "primary", "secondary", "success" or "destructive"
    property string role: "secondary"

    implicitHeight: 32
    leftPadding: 14
    rightPadding: 14
    font.pixelSize: 13
    font.weight: Font.Medium
    hoverEnabled: true

    contentItem: Label {
        text: control.text
        font: control.font
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        color: !control.enabled ? Theme.disabledButtonTitle
             : control.role === "primary" || control.role === "success" ? Theme.primaryButtonTitle
             : control.role === "destructive" ? Theme.destructiveButtonTitle
             : Theme.secondaryButtonTitle
    }
    background: Rectangle {
        radius: 8
        opacity: control.down ? 0.8 : control.hovered ? 0.92 : 1
        color: !control.enabled ? Theme.disabledButtonBackground
             : control.role === "primary" ? Theme.primaryButtonBackground
             : control.role === "success" ? Theme.successButtonBackground
             : control.role === "destructive" ? Theme.destructiveButtonBackground
             : Theme.secondaryButtonBackground
    }
}
