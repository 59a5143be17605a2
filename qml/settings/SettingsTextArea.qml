import QtQuick
import QtQuick.Controls.Basic
import Orvane.Views

ScrollView {
    id: scroll
    property alias text: area.text
    property alias readOnly: area.readOnly
    signal edited(string text)

    implicitHeight: 96
    clip: true
    background: Rectangle {
        radius: 8
        color: area.readOnly ? Theme.settingDisabledInput : Theme.settingEnabledInput
        border.width: area.activeFocus ? 2 : 1
        border.color: area.activeFocus ? Theme.primaryButtonBackground : Theme.border
    }
    TextArea {
        id: area
        wrapMode: TextEdit.Wrap
        font.pixelSize: 13
        color: Theme.inputText
        selectionColor: Theme.selectedItem
        selectedTextColor: Theme.inputText
        background: null
        leftPadding: 10
        rightPadding: 10
        topPadding: 8
        bottomPadding: 8
        onTextChanged: if (activeFocus) scroll.edited(text)
    }
}
