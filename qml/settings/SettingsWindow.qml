import QtQuick
import QtQuick.Layouts
import Orvane.Views
import Orvane.Settings.Models

// The settings window: Prompts, Account, Customisation and Support.
Window {
    id: window
    required property SettingsContent content
    property bool isShowingAdvancedView: false

    objectName: "Settings"
    title: qsTrId("settings.window.title")
    width: 860
    height: 680
    minimumWidth: 760
    minimumHeight: 600
    color: Theme.primaryBackground

    // Ctrl+1 to Ctrl+4 bring a tab to the front.
    Shortcut { sequence: "Ctrl+1"; onActivated: tabs.currentIndex = 0 }
    Shortcut { sequence: "Ctrl+2"; onActivated: tabs.currentIndex = 1 }
    Shortcut { sequence: "Ctrl+3"; onActivated: tabs.currentIndex = 2 }
    Shortcut { sequence: "Ctrl+4"; onActivated: tabs.currentIndex = 3 }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 52
            color: Theme.widgetBackground

            Row {
                anchors.centerIn: parent
                spacing: 4
                TabPill {
                    objectName: "tab0"
                    text: qsTrId("settings.tab.prompts")
                    active: tabs.currentIndex === 0
                    onClicked: tabs.currentIndex = 0
                }
                TabPill {
                    objectName: "tab1"
                    text: qsTrId("settings.tab.account")
                    active: tabs.currentIndex === 1
                    onClicked: tabs.currentIndex = 1
                }
                TabPill {
                    objectName: "tab2"
                    text: qsTrId("settings.tab.customisation")
                    active: tabs.currentIndex === 2
                    onClicked: tabs.currentIndex = 2
                }
                TabPill {
                    objectName: "tab3"
                    text: qsTrId("settings.tab.support")
                    active: tabs.currentIndex === 3
                    onClicked: tabs.currentIndex = 3
                }
            }
            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: Theme.border
            }
        }

        StackLayout {
            id: tabs
            Layout.fillWidth: true
            Layout.fillHeight: true

            Item {
                PromptsBasicView {
                    anchors.fill: parent
                    visible: !window.isShowingAdvancedView
                    model: window.content.prompts
                    onAdvancedRequested: window.isShowingAdvancedView = true
                }
                PromptsAdvancedView {
                    anchors.fill: parent
                    anchors.margins: 24
                    visible: window.isShowingAdvancedView
                    model: window.content.prompts
                    onBackRequested: window.isShowingAdvancedView = false
                }
            }
            PageTab {
                shown: window.visible && tabs.currentIndex === 1
                requestSource: () => window.content.account.urlRequest()
                pageWidth: window.content.account.width
                pageHeight: window.content.account.height
                onAction: identifier => window.content.account.handleAction(identifier)
            }
            CustomisationTab {
                model: window.content.customisation
                capabilities: window.content.capabilities
            }
            PageTab {
                shown: window.visible && tabs.currentIndex === 3
                requestSource: () => window.content.support.urlRequest()
                reloadActionId: window.content.support.sendReportId
                pageWidth: window.content.support.width
                pageHeight: window.content.support.height
            }
        }
    }
}
