import QtQuick
import QtWebEngine
import Orvane.WebPage

// The helper's page: the web view over the window's background, never scrolling itself.
Item {
    id: root
    required property WebView bridge

    WebEngineView {
        id: view
        anchors.fill: parent
        profile: root.bridge.profile
        webChannel: root.bridge.channel
        backgroundColor: root.bridge.background.length > 0 ? root.bridge.background : "white"
        settings.showScrollBars: false
        onContextMenuRequested: request => request.accepted = true
        onLoadingChanged: request => {
            if (request.status === WebEngineView.LoadSucceededStatus)
                root.bridge.pageLoaded(request.url)
        }
    }

    // Set by name: Qt 6.4's type information for WebEngineView lacks this property.
    Binding {
        target: view
        property: "webChannelWorld"
        value: root.bridge.scriptWorld
    }

    // The page never scrolls itself: the wheel goes no further than here.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        onWheel: wheel => wheel.accepted = true
    }

    Connections {
        target: root.bridge
        function onLoadRequested(url) {
            if (view.url === url)
                view.reload()
            else
                view.url = url
        }
    }
}
