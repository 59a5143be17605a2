// A window that holds the text of its last argument the way an application holds its
// selection: in the primary selection (unless --copy-only) and, once Ctrl+C reaches it,
// on the clipboard. Stands for applications whose text comes with CRLF line breaks.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QRasterWindow>

class SelectionWindow final : public QRasterWindow {
public:
    QString text;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy))
            QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    }
};

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    SelectionWindow window;
    window.text = arguments.constLast();
    if (!arguments.contains(QStringLiteral("--copy-only")))
        QGuiApplication::clipboard()->setText(window.text, QClipboard::Selection);
    window.resize(200, 100);
    window.show();
    return QGuiApplication::exec();
}
