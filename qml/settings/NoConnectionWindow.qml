import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views

// Shown when the service cannot be reached at start; it closes once it can.
Window {
    id: window
    required property QtObject content

    objectName: "NoConnection"
    title: qsTrId("no_connection.window.title")
    width: 400
    height: 300
    minimumWidth: 400
    minimumHeight: 300
    color: Theme.primaryBackground

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 14

        Label {
            Layout.alignment: Qt.AlignHCenter
            text: qsTrId("view.no_connection.header")
            font.pixelSize: 26
            font.weight: Font.Bold
            color: Theme.primaryText
        }
        Label {
            Layout.preferredWidth: 300
            Layout.preferredHeight: 50
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTrId("view.no_connection.comment")
            color: Theme.primaryText
        }
        Label {
            Layout.preferredWidth: 300
            Layout.preferredHeight: 50
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTrId("view.no_connection.hint")
            color: Theme.secondaryText
        }
    }
}
