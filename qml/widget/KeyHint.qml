import QtQuick
import QtQuick.Controls.Basic

// A keyboard hint drawn as a small key cap.
Rectangle {
    id: hint
    property alias text: label.text
    implicitWidth: label.implicitWidth + 10
    implicitHeight: 16
    radius: 4
    color: WidgetTheme.hintBackground

    Label {
        id: label
        anchors.centerIn: parent
        font.pixelSize: 10
        color: WidgetTheme.secondaryText
    }
}
