import QtQuick
import Orvane.Views
import Orvane.Settings.Models

// The help centre: the service's help page, showing the current widget hotkey.
Window {
    id: window
    required property HelpCenterViewModel content

    objectName: "HelpCenter"
    title: qsTrId("help.window.title")
    width: content.width
    height: content.height
    color: Theme.primaryBackground

    onVisibleChanged: if (visible) content.refresh()

    Loader {
        anchors.fill: parent
        active: window.visible && window.content.urlRequest !== undefined
        sourceComponent: WebPage {}
        onLoaded: {
            item.request = Qt.binding(() => window.content.urlRequest)
            item.action.connect(window.content.handleAction)
        }
    }
}
