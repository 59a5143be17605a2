#pragma once

#include "platform/clipboard.h"

class QClipboard;

/** The application's QClipboard in Clipboard mode (not the X11 primary selection). */
class QtClipboard final : public ClipboardProtocol {
    Q_OBJECT
public:
    explicit QtClipboard(QObject* parent = nullptr);

    void clear() override;
    void setText(const QString& text) override;
    [[nodiscard]] std::optional<QString> text() const override;

private:
    QClipboard* m_clipboard;
};
