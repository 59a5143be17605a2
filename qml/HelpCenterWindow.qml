import QtQuick
import QtQuick.Controls

Window {
    objectName: "HelpCenter"
    title: qsTrId("window.help.title")
    width: 640
    height: 520
    color: Theme.primaryBackground

    Label {
        anchors.centerIn: parent
        text: qsTrId("window.help.title")
        font.pixelSize: 20
        color: Theme.primaryText
    }
}
