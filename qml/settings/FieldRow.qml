import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Orvane.Views

// A form field's title with its help icon above the field itself.
ColumnLayout {
    id: row
    property string title
    property string help
    property bool error: false
    property string errorText
    default property alias field: holder.data

    spacing: 6

    RowLayout {
        spacing: 6
        Label {
            text: row.title
            font.pixelSize: 12
            font.weight: Font.DemiBold
            color: Theme.inputTitle
        }
        HelpTip {
            text: row.error ? row.errorText : row.help
            error: row.error
            forced: row.error
        }
        Item { Layout.fillWidth: true }
    }
    Item {
        id: holder
        Layout.fillWidth: true
        implicitHeight: childrenRect.height
    }
}
