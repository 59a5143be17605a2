pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Widget.Models

// The prompts that match the field, at most ten rows visible.
ListView {
    id: list
    required property AIDialogPresetActionsViewModel prompts

    objectName: "promptList"
    implicitHeight: Math.min(count, WidgetTheme.maxPromptRows) * WidgetTheme.rowHeight
    clip: true
    interactive: count > WidgetTheme.maxPromptRows
    boundsBehavior: Flickable.StopAtBounds
    model: prompts
    currentIndex: prompts.currentIndex
    highlightMoveDuration: 0
    ScrollBar.vertical: ScrollBar { policy: list.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff }

    delegate: ItemDelegate {
        id: row
        required property string name
        required property string hotkey
        required property int index
        width: ListView.view.width
        height: WidgetTheme.rowHeight
        padding: 0
        onClicked: list.prompts.clickRow(index)
        background: Rectangle {
            radius: 5
            color: row.index === list.currentIndex ? WidgetTheme.selection
                                                          : (row.hovered ? WidgetTheme.hover : "transparent")
        }
        contentItem: RowLayout {
            spacing: 8
            Label {
                text: "\u2726"
                font.pixelSize: 10
                color: WidgetTheme.promptIcon
                Layout.leftMargin: 8
            }
            Label {
                text: row.name
                elide: Text.ElideRight
                font.pixelSize: 12
                color: WidgetTheme.text
                Layout.fillWidth: true
            }
            Label {
                visible: text.length > 0
                text: row.hotkey
                font.pixelSize: 10
                color: WidgetTheme.secondaryText
                Layout.rightMargin: 8
            }
        }
    }
}
