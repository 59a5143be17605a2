pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Widget.Models

// What to do with a finished result, with the keyboard hints beside the rows.
ListView {
    id: list
    required property AIDialogPostActionsViewModel actions

    objectName: "resultActions"
    implicitHeight: count * WidgetTheme.rowHeight
    interactive: false
    model: actions.list

    function label(name) {
        switch (name) {
        //% "Replace selection"
        case "replaceSelection": return qsTrId("menu.postaction.replaceSelection")
        //% "Copy"
        case "copyToClipboard": return qsTrId("menu.postaction.copyToClipboard")
        //% "Copied"
        case "copiedToClipboard": return qsTrId("menu.postaction.copiedToClipboard")
        //% "Insert below"
        case "insertBelow": return qsTrId("menu.postaction.insertBelow")
        //% "Insert at cursor"
        case "insertAtCursor": return qsTrId("menu.postaction.insertAtCursor")
        //% "Continue with another prompt"
        case "continueWithAnotherPrompt": return qsTrId("menu.postaction.continueWithAnotherPrompt")
        //% "Regenerate"
        case "regenerate": return qsTrId("menu.postaction.regenerate")
        //% "Try again"
        case "tryAgain": return qsTrId("menu.postaction.tryAgain")
        //% "Discard"
        case "discard": return qsTrId("menu.postaction.discard")
        }
        return ""
    }
    function glyph(name) {
        switch (name) {
        case "replaceSelection": return "\u21c4"
        case "copyToClipboard": return "\u2750"
        case "copiedToClipboard": return "\u2713"
        case "insertBelow": return "\u21b3"
        case "insertAtCursor": return "\u2038"
        case "continueWithAnotherPrompt": return "\u2192"
        case "regenerate": return "\u21bb"
        case "tryAgain": return "\u21ba"
        case "discard": return "\u2715"
        }
        return ""
    }
    function hint(name) {
        if (name === "regenerate")
            return actions.regenerateHint
        if (name === "discard")
            return "\u238b Esc"
        return ""
    }

    delegate: ItemDelegate {
        id: row
        required property string modelData
        required property int index
        readonly property bool selected: modelData === list.actions.selectedItem
        width: ListView.view.width
        height: WidgetTheme.rowHeight
        padding: 0
        onClicked: list.actions.clickRow(index)
        background: Rectangle {
            radius: 5
            color: row.selected ? WidgetTheme.selection : (row.hovered ? WidgetTheme.hover : "transparent")
        }
        contentItem: RowLayout {
            spacing: 8
            Label {
                text: list.glyph(row.modelData)
                font.pixelSize: 11
                color: row.modelData === "copiedToClipboard" ? WidgetTheme.accent : WidgetTheme.secondaryText
                horizontalAlignment: Text.AlignHCenter
                Layout.preferredWidth: 14
                Layout.leftMargin: 8
            }
            Label {
                text: list.label(row.modelData)
                font.pixelSize: 12
                color: WidgetTheme.text
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Label {
                visible: row.selected && list.hint(row.modelData) === ""
                text: "\u21b5"
                font.pixelSize: 11
                color: WidgetTheme.secondaryText
                Layout.rightMargin: 8
            }
            KeyHint {
                visible: text.length > 0
                text: list.hint(row.modelData)
                Layout.rightMargin: 8
            }
        }
    }
}
