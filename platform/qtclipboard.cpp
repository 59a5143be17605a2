#include "platform/qtclipboard.h"

#include <QGuiApplication>
#include <QMimeData>

namespace {

// What X11 calls the text formats; Qt offers all of them for text/plain.
const QList<QByteArray> textFormats{
    "UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING", "TEXT", "COMPOUND_TEXT"};

} // namespace

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

void QtClipboard::serveText(const QString& text, Selection selection) {
    auto* data = new QMimeData;
    data->setText(text);
    // KDE's Klipper and most other clipboard histories skip entries with this hint.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    m_clipboard->setMimeData(data, mode(selection));
}

void QtClipboard::readText(Selection selection,
                           std::function<void(std::optional<QString>)> done) const {
    const QMimeData* data = m_clipboard->mimeData(mode(selection));
    const std::optional<QString> found =
        data && data->hasText() ? std::optional(data->text()) : std::nullopt;
    QMetaObject::invokeMethod(
        const_cast<QtClipboard*>(this), [done = std::move(done), found] { done(found); },
        Qt::QueuedConnection);
}

void QtClipboard::save(Selection selection, std::function<void(ClipboardContent)> done) const {
    ClipboardContent content;
    if (const QMimeData* data = m_clipboard->mimeData(mode(selection))) {
        const QStringList formats = data->formats();
        content.owned = !formats.isEmpty();
        for (const QString& format : formats)
            content.formats.append({format.toUtf8(), data->data(format)});
    }
    QMetaObject::invokeMethod(
        const_cast<QtClipboard*>(this), [done = std::move(done), content] { done(content); },
        Qt::QueuedConnection);
}

void QtClipboard::restore(Selection selection, const ClipboardContent& content) {
    if (!content.owned) {
        m_clipboard->clear(mode(selection));
        return;
    }
    // An owner that gave nothing away is better left than emptied.
    if (content.formats.isEmpty())
        return;
    auto* data = new QMimeData;
    std::optional<QString> text;
    for (const QByteArray& format : textFormats) {
        const auto it = std::find_if(content.formats.cbegin(), content.formats.cend(),
                                     [&](const auto& entry) { return entry.first == format; });
        if (it != content.formats.cend() && !text) {
            text = format == "STRING" ? QString::fromLatin1(it->second)
                                      : QString::fromUtf8(it->second);
        }
    }
    if (text)
        data->setText(*text);
    for (const auto& [format, bytes] : content.formats) {
        if (!textFormats.contains(format))
            data->setData(QString::fromUtf8(format), bytes);
    }
    m_clipboard->setMimeData(data, mode(selection));
}
