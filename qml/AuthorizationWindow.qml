import QtQuick
import QtQuick.Controls

// The sign-in window. Its pages come from the service; until the sign-in flow is
// wired, it says what to do.
Window {
    objectName: "Authorization"
    title: qsTrId("window.authorization.title")
    width: 520
    height: 600
    color: Theme.primaryBackground

    Column {
        anchors.centerIn: parent
        spacing: 12
        width: parent.width - 80

        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("view.authorization.header")
            font.pixelSize: 24
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTrId("view.authorization.body")
            color: Theme.secondaryText
        }
    }
}
