import QtQuick
import QtQuick.Controls

Window {
    objectName: "NoConnection"
    title: qsTrId("window.no_connection.title")
    width: 420
    height: 220
    color: Theme.primaryBackground

    Column {
        anchors.centerIn: parent
        spacing: 10
        width: parent.width - 60

        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: qsTrId("view.no_connection.header")
            font.pixelSize: 20
            font.weight: Font.DemiBold
            color: Theme.primaryText
        }
        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: qsTrId("view.no_connection.body")
            color: Theme.secondaryText
        }
    }
}
