pragma Singleton
import QtQuick

// Named colours of every view, light and dark.
QtObject {
    // The application sets its palette from the desktop's appearance.
    readonly property SystemPalette system: SystemPalette {}
    property bool dark: system.window.hslLightness < 0.5

    readonly property color primaryBackground: dark ? "#1f2023" : "#f6f6f7"
    readonly property color primaryText: dark ? "#ececee" : "#1d1d1f"
    readonly property color secondaryText: dark ? "#a1a1a6" : "#6e6e73"
    readonly property color accent: dark ? "#7c8cff" : "#4a5bd9"
}
