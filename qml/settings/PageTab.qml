import QtQuick

// A settings tab that shows a service page while the tab is in front.
Item {
    id: tab
    property bool shown: false
    property var requestSource
    property string reloadActionId: ""
    property real pageWidth: 604
    property real pageHeight: 460
    signal action(string identifier)

    Loader {
        anchors.centerIn: parent
        width: tab.pageWidth
        height: tab.pageHeight
        active: tab.shown
        sourceComponent: WebPage {}
        onLoaded: {
            item.reloadActionId = tab.reloadActionId
            // Built afresh every time the page is shown.
            item.request = tab.requestSource()
            item.action.connect(tab.action)
        }
    }
}
