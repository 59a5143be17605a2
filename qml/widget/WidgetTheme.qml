pragma Singleton
import QtQuick
import Orvane.Views

// The widget's own colours and sizes, on top of the shared ones.
QtObject {
    readonly property bool dark: Theme.dark
    readonly property color background: Theme.primaryBackground
    readonly property color diffDeleted: dark ? "#f1837a" : "#c0392b"
    readonly property color diffInserted: dark ? "#6fd39a" : "#1e8449"
    readonly property color text: Theme.primaryText
    readonly property color secondaryText: Theme.secondaryText
    readonly property color accent: Theme.accent
    readonly property color border: dark ? "#3a3b41" : "#d6d6dc"
    readonly property color separator: dark ? "#2e2f34" : "#e6e6ea"
    readonly property color field: dark ? "#27282c" : "#ffffff"
    readonly property color inputArea: dark ? "#25262a" : "#ededf0"
    readonly property color selection: dark ? "#34375a" : "#e3e6fb"
    readonly property color hover: dark ? "#2b2c31" : "#f0f0f3"
    readonly property color promptIcon: dark ? "#9aa5ff" : "#5a68e0"
    readonly property color promptIconRunning: dark ? "#f5b85a" : "#d98a16"
    readonly property color error: dark ? "#ff8a80" : "#c62828"
    readonly property color hintBackground: dark ? "#33343a" : "#e4e4e9"

    readonly property int width: 500
    readonly property int headerHeight: 50
    readonly property int bottomMargin: 18
    readonly property int rowHeight: 20
    readonly property int maxPromptRows: 10
    readonly property int resultLineLimit: 50
}
