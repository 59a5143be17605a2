import QtQuick
import QtWebEngine
import Orvane.Settings.Models

// One service page in an embedded browser. Created only while its window or tab is
// shown, so that no browser process runs while Orvane is idle.
Item {
    id: page

    property var request
    property string reloadActionId: ""
    signal action(string identifier)

    WebView {
        id: bridge
        request: page.request
        reloadActionId: page.reloadActionId
        onAction: identifier => page.action(identifier)
    }

    WebEngineView {
        id: view
        anchors.fill: parent
        profile: bridge.profile
        webChannel: bridge.channel
        backgroundColor: "transparent"
        settings.showScrollBars: false
        onContextMenuRequested: request => request.accepted = true
    }

    // Set by name: Qt 6.4's type information for WebEngineView lacks this property.
    Binding {
        target: view
        property: "webChannelWorld"
        value: bridge.scriptWorld
    }

    // The page never scrolls itself: the wheel goes no further than here.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        onWheel: wheel => wheel.accepted = true
    }

    Connections {
        target: bridge
        function onLoadRequested(url) {
            if (view.url === url)
                view.reload()
            else
                view.url = url
        }
    }

    Component.onCompleted: {
        if (bridge.request && bridge.request.url)
            view.url = bridge.request.url
    }
}
