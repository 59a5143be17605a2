import QtQuick
import QtQuick.Controls
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
    Repeater {
        model: 4
        Item {
            required property int index
            Shortcut {
                sequence: "Ctrl+" + (index + 1)
                onActivated: tabs.currentIndex = index
            }
        }
    }

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
                Repeater {
                    model: [qsTrId("settings.tab.prompts"), qsTrId("settings.tab.account"),
                            qsTrId("settings.tab.customisation"), qsTrId("settings.tab.support")]
                    delegate: Rectangle {
                        id: tabButton
                        required property string modelData
                        required property int index
                        readonly property bool active: tabs.currentIndex === index
                        objectName: "tab" + index
                        width: tabLabel.implicitWidth + 32
                        height: 34
                        radius: 8
                        color: active ? Theme.selectedItem : tabHover.hovered ? Theme.promptActionBackground : "transparent"
                        Label {
                            id: tabLabel
                            anchors.centerIn: parent
                            text: tabButton.modelData
                            font.pixelSize: 13
                            font.weight: tabButton.active ? Font.DemiBold : Font.Normal
                            color: tabButton.active ? Theme.tabActive : Theme.tabInactive
                        }
                        HoverHandler { id: tabHover }
                        TapHandler { onTapped: tabs.currentIndex = tabButton.index }
                    }
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
