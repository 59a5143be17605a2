pragma Singleton
import QtQuick

// Named colours of every view, each with a light and a dark variant.
QtObject {
    // The application sets its palette from the desktop's appearance.
    readonly property SystemPalette system: SystemPalette {}
    property bool dark: system.window.hslLightness < 0.5

    function pick(light, darkVariant) { return dark ? darkVariant : light }

    readonly property color primaryBackground: pick("#f6f6f8", "#1e1f23")
    readonly property color widgetBackground: pick("#ffffff", "#232428")
    readonly property color promptsBackground: pick("#f0f0f4", "#292a2f")
    readonly property color outputBackground: pick("#fafafc", "#26272c")
    readonly property color tooltipBackgroundColor: pick("#2b2c31", "#f1f1f4")
    readonly property color tooltipTextColor: pick("#f5f5f7", "#1d1d20")
    readonly property color promptActionBackground: pick("#ececf1", "#303137")
    readonly property color promptActionTitle: pick("#2a2b30", "#e4e4e8")
    readonly property color promptIconRunning: pick("#d98a16", "#f5b85a")
    readonly property color promptsButtonHotkey: pick("#7a7b85", "#9d9ea8")
    readonly property color primaryButtonBackground: pick("#4a5bd9", "#6f7ff5")
    readonly property color primaryButtonTitle: pick("#ffffff", "#ffffff")
    readonly property color secondaryButtonBackground: pick("#e6e7ee", "#34353c")
    readonly property color secondaryButtonTitle: pick("#25262b", "#e8e8ec")
    readonly property color successButtonBackground: pick("#2f9e5b", "#3fb36c")
    readonly property color destructiveButtonBackground: pick("#fbe7e7", "#4a2527")
    readonly property color destructiveButtonTitle: pick("#c62828", "#ff8a80")
    readonly property color disabledButtonBackground: pick("#e9e9ee", "#2c2d32")
    readonly property color disabledButtonTitle: pick("#a3a4ad", "#6c6d75")
    readonly property color settingEnabledInput: pick("#ffffff", "#2a2b30")
    readonly property color settingDisabledInput: pick("#efeff3", "#232428")
    readonly property color inputTitle: pick("#3a3b42", "#c9c9d0")
    readonly property color inputText: pick("#1d1d20", "#ececef")
    readonly property color outputText: pick("#1d1d20", "#ececef")
    readonly property color promptText: pick("#25262b", "#e4e4e8")
    readonly property color promptIcon: pick("#5a68e0", "#9aa5ff")
    readonly property color selectedItem: pick("#e3e6fb", "#343759")
    readonly property color itemText: pick("#25262b", "#e4e4e8")
    readonly property color tabActive: pick("#4a5bd9", "#9aa5ff")
    readonly property color tabInactive: pick("#7a7b85", "#8c8d96")
    readonly property color primaryText: pick("#1d1d1f", "#ececee")
    readonly property color secondaryText: pick("#6e6e76", "#a1a1a8")
    readonly property color border: pick("#dcdce2", "#3a3b41")

    // Earlier names that other views use.
    readonly property color accent: primaryButtonBackground
}
