#pragma once

#include <QObject>
#include <QString>

#include <optional>

/** The system clipboard (the one Ctrl+C and Ctrl+V use), as plain text. */
class ClipboardProtocol : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /** Takes the clipboard over with no content: the previous content is gone. */
    virtual void clear() = 0;
    /** Puts text on the clipboard as plain text; this process serves it from now on. */
    virtual void setText(const QString& text) = 0;
    /** The plain text on the clipboard, or nothing when it holds none. */
    [[nodiscard]] virtual std::optional<QString> text() const = 0;

Q_SIGNALS:
    /** Another application has put something on the clipboard. */
    void changedByOtherApp();
    /** Another application asked for the content this process serves (it pastes it). */
    void dataRequested();
};
