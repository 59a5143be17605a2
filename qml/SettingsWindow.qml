import QtQuick
import QtQuick.Controls

Window {
    objectName: "Settings"
    title: qsTrId("window.settings.title")
    width: 760
    height: 560
    color: Theme.primaryBackground

    Label {
        anchors.centerIn: parent
        text: qsTrId("window.settings.title")
        font.pixelSize: 20
        color: Theme.primaryText
    }
}
