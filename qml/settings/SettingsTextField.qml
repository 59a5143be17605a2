import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

TextField {
    id: field
    implicitHeight: 32
    leftPadding: 10
    rightPadding: 10
    font.pixelSize: 13
    color: Theme.inputText
    selectionColor: Theme.selectedItem
    selectedTextColor: Theme.inputText
    placeholderTextColor: Theme.secondaryText
    background: Rectangle {
        radius: 8
        color: field.readOnly ? Theme.settingDisabledInput : Theme.settingEnabledInput
        border.width: field.activeFocus ? 2 : 1
        border.color: field.activeFocus ? Theme.primaryButtonBackground : Theme.border
    }
}
