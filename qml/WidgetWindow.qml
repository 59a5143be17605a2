import QtQuick
import QtQuick.Controls

// The floating writing widget: frameless and translucent, content drawn rounded.
Window {
    objectName: "AIWidget"
    title: "Orvane"
    width: 560
    height: 200
    color: "transparent"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint

    Rectangle {
        anchors.fill: parent
        anchors.margins: 8
        radius: 14
        color: Theme.primaryBackground
        border.color: Theme.dark ? "#3a3b40" : "#d9d9de"

        Label {
            anchors.centerIn: parent
            text: "Orvane"
            color: Theme.secondaryText
        }
    }
}
