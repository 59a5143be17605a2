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

    // While a sign-in runs: the code the browser's page shows too, so that a page opened
    // from someone else's link can be told apart.
    Rectangle {
        id: codeBar
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: visible ? 40 : 0
        visible: window.content.signInCode !== ""
        color: Theme.promptsBackground
        Text {
            objectName: "signInCode"
            anchors.centerIn: parent
            text: qsTrId("signin.code").arg(window.content.signInCode)
            color: Theme.secondaryText
            font.pixelSize: 13
        }
    }

    Loader {
        anchors { left: parent.left; right: parent.right; top: parent.top; bottom: codeBar.top }
        active: window.visible && window.content.urlRequest !== undefined
        sourceComponent: WebPage {}
        onLoaded: {
            item.request = Qt.binding(() => window.content.urlRequest)
            item.action.connect(window.content.handleAction)
        }
    }
}
