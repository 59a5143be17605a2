import QtQuick
import Orvane.Views
import Orvane.Settings.Models

// The sign-in window: the service's sign-in and onboarding pages.
Window {
    id: window
    required property AuthorizationViewModel content

    objectName: "Authorization"
    title: qsTrId("signin.window.title")
    width: content.width
    height: content.height
    minimumWidth: content.width
    minimumHeight: content.height
    color: Theme.primaryBackground

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
