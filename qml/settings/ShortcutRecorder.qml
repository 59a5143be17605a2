import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Orvane.Views
import Orvane.Settings.Models

// The field in which the user records a shortcut; the control does the recording.
FocusScope {
    id: recorder

    required property RecorderControl control
    property bool error: false
    property bool readOnly: false

    implicitWidth: Math.max(control.minimumWidth, 180)
    implicitHeight: 32
    activeFocusOnTab: !readOnly
    onActiveFocusChanged: control.setRecording(activeFocus && !readOnly)

    function updateBounds() {
        if (!control)
            return
        const origin = recorder.mapToItem(null, 0, 0)
        control.bounds = Qt.rect(origin.x, origin.y, width, height)
    }
    onWidthChanged: updateBounds()
    onHeightChanged: updateBounds()
    Component.onCompleted: updateBounds()

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: recorder.readOnly ? Theme.settingDisabledInput : Theme.settingEnabledInput
        border.width: recorder.activeFocus || recorder.error ? 2 : 1
        border.color: recorder.error ? Theme.destructiveButtonTitle
                    : recorder.control.recording ? Theme.primaryButtonBackground : Theme.border

        Label {
            anchors.centerIn: parent
            text: recorder.control.text !== "" ? recorder.control.text : recorder.control.placeholder
            color: recorder.control.text !== "" ? Theme.inputText : Theme.secondaryText
            font.pixelSize: 13
        }

        Rectangle {
            visible: recorder.control.showsClearButton && !recorder.readOnly
            anchors.right: parent.right
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            radius: 8
            color: Theme.secondaryText
            Label {
                anchors.centerIn: parent
                text: "×"
                color: Theme.settingEnabledInput
                font.pixelSize: 12
                font.weight: Font.Bold
            }
            TapHandler { onTapped: recorder.control.clear() }
        }
    }

    TapHandler {
        enabled: !recorder.readOnly
        onTapped: {
            recorder.updateBounds()
            if (recorder.activeFocus)
                recorder.control.setRecording(true)
            else
                recorder.forceActiveFocus(Qt.MouseFocusReason)
        }
    }

    Connections {
        target: recorder.control
        function onFocusRequested() { recorder.forceActiveFocus() }
        function onRecordingEnded(passFocus) {
            if (passFocus)
                recorder.nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
        }
        function onAlertRequested(message, informativeText) {
            alert.message = message
            alert.informativeText = informativeText
            alert.open()
        }
    }

    Dialog {
        id: alert
        property string message
        property string informativeText
        parent: T.Overlay.overlay
        anchors.centerIn: parent
        width: 340
        modal: true
        closePolicy: Popup.CloseOnEscape
        onClosed: recorder.control.alertDismissed()

        background: Rectangle {
            radius: 12
            color: Theme.widgetBackground
            border.color: Theme.border
        }
        contentItem: Column {
            spacing: 8
            Label {
                text: alert.message
                width: parent.width
                wrapMode: Text.WordWrap
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.primaryText
            }
            Label {
                text: alert.informativeText
                width: parent.width
                visible: text !== ""
                wrapMode: Text.WordWrap
                color: Theme.secondaryText
            }
        }
        footer: Item {
            implicitHeight: 52
            SettingsButton {
                anchors.right: parent.right
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                role: "primary"
                text: qsTrId("alert.ok")
                onClicked: alert.close()
            }
        }
    }
}
