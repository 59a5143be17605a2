#include "platform/qtclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QtClipboard::QtClipboard(QObject* parent)
    : ClipboardProtocol(parent)
    , m_clipboard(QGuiApplication::clipboard()) {
    connect(m_clipboard, &QClipboard::dataChanged, this, [this] {
        // Our own writes announce themselves too; only another owner is news.
        if (!m_clipboard->ownsClipboard())
            Q_EMIT changedByOtherApp();
    });
}

void QtClipboard::clear() {
    // Owning an empty clipboard, rather than dropping ownership, makes the next
    // owner change unmistakable.
    m_clipboard->setMimeData(new QMimeData, QClipboard::Clipboard);
}

void QtClipboard::setText(const QString& text) {
    m_clipboard->setText(text, QClipboard::Clipboard);
}

std::optional<QString> QtClipboard::text() const {
    const QMimeData* data = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}
