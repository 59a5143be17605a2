#pragma once

#include "platform/clipboard.h"

#include <QClipboard>

/**
 * The application's QClipboard: Clipboard mode for the clipboard, Selection mode for the
 * primary selection. Reads go through Qt, which waits for the owner on some platforms.
 */
class QtClipboard : public ClipboardProtocol {
    Q_OBJECT
public:
    explicit QtClipboard(QObject* parent = nullptr);

    void clear() override;
    void setText(const QString& text) override;
    [[nodiscard]] std::optional<QString> text() const override;

    void serveText(const QString& text, Selection selection) override;
    void readText(Selection selection,
                  std::function<void(std::optional<QString>)> done) const override;
    void save(Selection selection, std::function<void(ClipboardContent)> done) const override;
    void restore(Selection selection, const ClipboardContent& content) override;

protected:
    static QClipboard::Mode mode(Selection selection) {
        return selection == Selection::primary ? QClipboard::Selection : QClipboard::Clipboard;
    }

private:
    QClipboard* m_clipboard;
};
