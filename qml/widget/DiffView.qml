import QtQuick
import QtQuick.Controls.Basic
import Orvane.Widget.Models

// The answer as a word diff against the captured text: deleted words struck through,
// inserted ones coloured, each line a paragraph with its own direction.
ScrollView {
    id: view
    required property AnswerReview review

    implicitHeight: Math.min(diffText.implicitHeight,
                             diffText.font.pixelSize * 1.4 * WidgetTheme.resultLineLimit, 260)

    Binding { target: view.review; property: "deletedColor"; value: WidgetTheme.diffDeleted }
    Binding { target: view.review; property: "insertedColor"; value: WidgetTheme.diffInserted }

    // A Text, not a TextArea: rich text that wraps in a TextArea loops on its implicit width.
    contentWidth: availableWidth

    Text {
        id: diffText
        objectName: "diffText"
        width: view.availableWidth
        text: view.review.richText
        textFormat: Text.RichText
        wrapMode: Text.Wrap
        font.pixelSize: 13
        color: WidgetTheme.text
    }
}
