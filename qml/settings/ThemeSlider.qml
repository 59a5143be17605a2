import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

// A slider in the theme's colours.
Slider {
    id: control
    implicitHeight: 32

    background: Rectangle {
        x: control.leftPadding
        y: control.topPadding + control.availableHeight / 2 - height / 2
        width: control.availableWidth
        height: 4
        radius: 2
        color: Theme.disabledButtonBackground
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: control.enabled ? Theme.primaryButtonBackground : Theme.disabledButtonTitle
        }
    }
    handle: Rectangle {
        x: control.leftPadding + control.visualPosition * (control.availableWidth - width)
        y: control.topPadding + control.availableHeight / 2 - height / 2
        width: 18
        height: 18
        radius: 9
        color: "#ffffff"
        border.color: control.enabled ? Theme.primaryButtonBackground : Theme.border
        border.width: 2
    }
}
