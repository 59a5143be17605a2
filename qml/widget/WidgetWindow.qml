import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Widget.Models

// The floating writing widget: the captured text and the prompt field above either
// the prompt list or the result actions. Its height follows the content.
Window {
    id: window
    required property WidgetContent content
    readonly property AIDialogInputViewModel input: content.input

    objectName: "AIWidget"
    title: "Orvane Widget"
    width: WidgetTheme.width
    height: WidgetTheme.headerHeight + Math.ceil(body.implicitHeight) + WidgetTheme.bottomMargin
    color: "transparent"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint

    Component.onCompleted: window.content.keys.watch(window)
    onVisibleChanged: if (visible) promptField.editor.forceActiveFocus()
    onActiveChanged: if (visible) window.content.setWindowActive(active)

    Rectangle {
        id: card
        anchors.fill: parent
        radius: window.content.roundedCorners ? 12 : 0
        color: WidgetTheme.background
        border.color: WidgetTheme.border
        border.width: 1

        // Dragging anywhere on the card's background moves the window.
        DragHandler {
            target: null
            onActiveChanged: if (active) window.startSystemMove()
        }

        RowLayout {
            id: header
            anchors { left: parent.left; right: parent.right; top: parent.top }
            anchors.leftMargin: 14
            anchors.rightMargin: 12
            height: WidgetTheme.headerHeight
            spacing: 8

            Label {
                text: "\u2726"
                color: WidgetTheme.promptIcon
                font.pixelSize: 13
            }
            Label {
                text: "Orvane"
                color: WidgetTheme.text
                font.pixelSize: 13
                font.bold: true
                Layout.fillWidth: true
            }
            KeyHint { text: "Esc" }
        }

        ColumnLayout {
            id: body
            objectName: "widgetBody"
            anchors { left: parent.left; right: parent.right; top: header.bottom }
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            spacing: 8

            // The captured text, read-only, with the control that clears it.
            Rectangle {
                objectName: "inputArea"
                visible: window.input.displayInput
                Layout.fillWidth: true
                implicitHeight: inputText.implicitHeight + 16
                radius: 8
                color: WidgetTheme.inputArea

                // At most five lines, the last one ending in an ellipsis.
                Label {
                    id: inputText
                    objectName: "inputText"
                    anchors { left: parent.left; right: parent.right; top: parent.top }
                    anchors.margins: 8
                    anchors.rightMargin: clear.width + 12
                    text: window.input.inputText
                    wrapMode: Text.Wrap
                    maximumLineCount: 5
                    elide: Text.ElideRight
                    font.pixelSize: 12
                    color: WidgetTheme.secondaryText
                }
                ToolButton {
                    id: clear
                    objectName: "clearInput"
                    anchors { right: parent.right; top: parent.top; margins: 4 }
                    implicitWidth: 22
                    implicitHeight: 22
                    text: "\u2715"
                    font.pixelSize: 10
                    onClicked: window.input.clearInput()
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    //% "Clear"
                    ToolTip.text: qsTrId("input.source.clear")
                }
            }

            PromptField {
                id: promptField
                input: window.input
                Layout.fillWidth: true
            }

            // Why nothing was pasted, or why a prompt did not run.
            Label {
                objectName: "notice"
                visible: text.length > 0
                text: window.input.notice
                color: WidgetTheme.error
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Label {
                objectName: "tooLongError"
                visible: window.input.showTooLongError
                //% "The text is too long for this prompt. Select less text and try again."
                text: qsTrId("input.prompt.error.too_long")
                color: WidgetTheme.error
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Label {
                objectName: "genericError"
                visible: window.input.showGenericError
                //% "Something went wrong. Please try again."
                text: qsTrId("input.prompt.error.generic")
                color: WidgetTheme.error
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            // What the service said about its refusal, in a sentence of its own.
            Label {
                objectName: "failureReason"
                visible: text.length > 0
                text: {
                    switch (window.input.failureReason) {
                    //% "The model server does not have the model Orvane is set to use."
                    case "model-not-found": return qsTrId("input.prompt.error.model_not_found")
                    //% "The model server refused Orvane's key."
                    case "model-unauthorized": return qsTrId("input.prompt.error.model_unauthorized")
                    //% "The text is too long for the model. Select less text and try again."
                    case "input-too-long-for-model": return qsTrId("input.prompt.error.too_long_for_model")
                    //% "The model server could not be reached."
                    case "model-unreachable": return qsTrId("input.prompt.error.model_unreachable")
                    //% "The model server failed to answer."
                    case "model-failed": return qsTrId("input.prompt.error.model_failed")
                    //% "Start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL"
                    case "no-model-server": return qsTrId("input.prompt.error.no_model_server")
                    }
                    return ""
                }
                color: WidgetTheme.secondaryText
                font.pixelSize: 12
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }

            // The answer as it streams in.
            ColumnLayout {
                objectName: "resultArea"
                visible: window.input.resultText.length > 0
                spacing: 4
                Layout.fillWidth: true

                RowLayout {
                    Label {
                        //% "Result"
                        text: qsTrId("input.prompt.result")
                        font.pixelSize: 11
                        font.bold: true
                        color: WidgetTheme.secondaryText
                        Layout.fillWidth: true
                    }
                    Label {
                        objectName: "reviewHint"
                        visible: window.content.review.available
                        text: window.content.review.active
                              //% "Changes shown"
                              ? qsTrId("input.prompt.result.changes")
                              //% "Show changes"
                              : qsTrId("input.prompt.result.show_changes")
                        font.pixelSize: 10
                        color: WidgetTheme.secondaryText
                    }
                    KeyHint { visible: window.content.review.available; text: "Tab" }
                }
                DiffView {
                    objectName: "diffView"
                    visible: review.active
                    review: window.content.review
                    Layout.fillWidth: true
                }
                ScrollView {
                    visible: !window.content.review.active
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(resultText.implicitHeight,
                                                     resultText.font.pixelSize * 1.4 * WidgetTheme.resultLineLimit,
                                                     260)
                    TextArea {
                        id: resultText
                        objectName: "resultText"
                        text: window.input.resultText
                        readOnly: true
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 13
                        color: WidgetTheme.text
                        background: null
                        padding: 0
                        selectByMouse: true
                    }
                }
                Label {
                    objectName: "resultCut"
                    visible: window.input.resultCut
                    //% "The answer broke off here: it is not complete."
                    text: qsTrId("input.prompt.result.cut")
                    color: WidgetTheme.error
                    font.pixelSize: 11
                    font.italic: true
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }

            Rectangle {
                visible: promptList.visible || actionList.visible
                Layout.fillWidth: true
                implicitHeight: 1
                color: WidgetTheme.separator
            }

            PromptList {
                id: promptList
                prompts: window.content.presetActions
                visible: window.input.displayPromptActions && count > 0
                Layout.fillWidth: true
                Layout.preferredHeight: implicitHeight
            }

            ResultActions {
                id: actionList
                actions: window.content.postActions
                visible: window.input.displayPostActions
                Layout.fillWidth: true
                Layout.preferredHeight: implicitHeight
            }

        }
    }
}
