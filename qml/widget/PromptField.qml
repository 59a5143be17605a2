import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Widget.Models

// The prompt field: icon, up to three lines of text, and the send or cancel control.
Rectangle {
    id: field
    required property AIDialogInputViewModel input
    property alias editor: editor

    implicitHeight: Math.max(36, scroller.implicitHeight + 12)
    radius: 9
    color: WidgetTheme.field
    border.color: editor.activeFocus ? WidgetTheme.accent : WidgetTheme.border
    border.width: 1

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 6
        spacing: 8

        Label {
            objectName: "promptIcon"
            text: "\u2726"
            font.pixelSize: 15
            color: field.input.sending ? WidgetTheme.promptIconRunning : WidgetTheme.promptIcon
            Layout.alignment: Qt.AlignVCenter
        }

        ScrollView {
            id: scroller
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignVCenter
            // At most three lines; more scroll.
            implicitHeight: Math.min(editor.implicitHeight, editor.font.pixelSize * 1.45 * 3 + 8)
            Layout.preferredHeight: implicitHeight

            TextArea {
                id: editor
                objectName: "promptEditor"
                wrapMode: TextEdit.Wrap
                readOnly: field.input.sending
                font.pixelSize: 13
                color: WidgetTheme.text
                selectByMouse: true
                background: null
                topPadding: 4
                bottomPadding: 4
                leftPadding: 0
                rightPadding: 0
                placeholderTextColor: WidgetTheme.secondaryText
                placeholderText: field.input.sending ? field.input.promptRunningPlaceholder
                                                     : field.input.promptPlaceholder
                // Wrapping is the view's alone: the text holds only the breaks the user typed.
                text: field.input.promptText
                onTextChanged: if (text !== field.input.promptText) field.input.promptText = text
            }
        }

        AbstractButton {
            id: send
            objectName: "sendButton"
            visible: !field.input.sending
            enabled: field.input.allowSend
            implicitWidth: 26
            implicitHeight: 26
            Layout.alignment: Qt.AlignVCenter
            onClicked: field.input.send()
            background: Rectangle {
                radius: 13
                color: send.enabled ? WidgetTheme.accent : WidgetTheme.hintBackground
            }
            contentItem: Label {
                text: "\u2191"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                font.pixelSize: 14
                font.bold: true
                color: send.enabled ? "#ffffff" : WidgetTheme.secondaryText
            }
        }

        AbstractButton {
            id: cancel
            objectName: "cancelButton"
            visible: field.input.sending
            implicitWidth: contentItem.implicitWidth + 8
            implicitHeight: 26
            Layout.alignment: Qt.AlignVCenter
            onClicked: field.input.stopRunning()
            background: Rectangle {
                radius: 6
                color: cancel.hovered ? WidgetTheme.hover : "transparent"
            }
            contentItem: RowLayout {
                spacing: 6
                Label {
                    //% "Stop"
                    text: qsTrId("input.prompt.stop")
                    font.pixelSize: 12
                    color: WidgetTheme.secondaryText
                }
                KeyHint { text: "Esc" }
            }
        }
    }
}
