pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvane.Widget.Models

// The prompts that match the field: twenty-pixel rows, at most ten visible.
ListView {
    id: list
    required property AIDialogPresetActionsViewModel prompts

    objectName: "promptList"
    implicitHeight: prompts.presetsToShow * prompts.cellHeight
    clip: true
    interactive: count > prompts.maxPresetsToShow
    boundsBehavior: Flickable.StopAtBounds
    model: prompts.rows
    currentIndex: prompts.selectedRow
    highlightMoveDuration: 0
    ScrollBar.vertical: ScrollBar { policy: list.interactive ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff }

    delegate: ItemDelegate {
        id: row
        required property var modelData
        required property int index
        width: ListView.view.width
        height: list.prompts.cellHeight
        padding: 0
        onClicked: list.prompts.clickRow(index)
        background: Rectangle {
            radius: 5
            color: row.index === list.prompts.selectedRow ? WidgetTheme.selection
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
                text: row.modelData.name
                elide: Text.ElideRight
                font.pixelSize: 12
                color: WidgetTheme.text
                Layout.fillWidth: true
            }
            Label {
                visible: text.length > 0
                text: row.modelData.hotkey
                font.pixelSize: 10
                color: WidgetTheme.secondaryText
                Layout.rightMargin: 8
            }
        }
    }
}
