#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

/** Which of the two X selections: the one Ctrl+C fills, or the one selecting text fills. */
enum class Selection { clipboard, primary };

/** Everything a selection offered at one moment, each format by its name. */
struct ClipboardContent {
    /** Whether any application owned the selection. */
    bool owned = false;
    QList<std::pair<QByteArray, QByteArray>> formats;

    [[nodiscard]] QByteArray data(const QByteArray& format) const;
    friend bool operator==(const ClipboardContent&, const ClipboardContent&) = default;
};

/**
 * The system clipboard (the one Ctrl+C and Ctrl+V use) and, where the window system has
 * one, the primary selection. Reads may take a round trip to the owning application, so
 * they answer through a callback, always after the call returns.
 */
class ClipboardProtocol : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /** Takes the clipboard over with no content: the previous content is gone. */
    virtual void clear() = 0;
    /** Puts text on the clipboard as plain text for the user to keep. */
    virtual void setText(const QString& text) = 0;
    /** The plain text on the clipboard, or nothing when it holds none. */
    [[nodiscard]] virtual std::optional<QString> text() const = 0;

    /**
     * Offers text on selection only for a paste about to happen, marked so that
     * clipboard managers leave it out of their history.
     */
    virtual void serveText(const QString& text, Selection selection);
    /** The plain text of selection, or nothing; done runs on this thread. */
    virtual void readText(Selection selection,
                          std::function<void(std::optional<QString>)> done) const;
    /** Every format of selection, to put back later with restore(). */
    virtual void save(Selection selection, std::function<void(ClipboardContent)> done) const;
    /** Offers content on selection again; content nobody owned leaves it empty and unowned. */
    virtual void restore(Selection selection, const ClipboardContent& content);
    /** The process of the application owning selection, when the window system says. */
    [[nodiscard]] virtual std::optional<qint64> ownerProcess(Selection selection) const;

Q_SIGNALS:
    /** Another application has put something on the clipboard. */
    void changedByOtherApp();
    /** Another application asked for the content this process serves (it pastes it). */
    void dataRequested();
};

/** Carriage returns (alone or before a line feed) become line feeds. */
[[nodiscard]] QString withUnixLineEndings(QString text);
