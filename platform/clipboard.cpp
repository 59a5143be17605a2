#include "platform/clipboard.h"

QByteArray ClipboardContent::data(const QByteArray& format) const {
    for (const auto& [name, bytes] : formats) {
        if (name == format)
            return bytes;
    }
    return {};
}

void ClipboardProtocol::serveText(const QString& text, Selection selection) {
    if (selection == Selection::clipboard)
        setText(text);
}

void ClipboardProtocol::readText(Selection selection,
                                 std::function<void(std::optional<QString>)> done) const {
    const std::optional<QString> found =
        selection == Selection::clipboard ? text() : std::optional<QString>();
    QMetaObject::invokeMethod(
        const_cast<ClipboardProtocol*>(this), [done = std::move(done), found] { done(found); },
        Qt::QueuedConnection);
}

void ClipboardProtocol::save(Selection selection,
                             std::function<void(ClipboardContent)> done) const {
    ClipboardContent content;
    if (const std::optional<QString> found =
            selection == Selection::clipboard ? text() : std::nullopt) {
        content.owned = true;
        content.formats.append({"text/plain;charset=utf-8", found->toUtf8()});
    }
    QMetaObject::invokeMethod(
        const_cast<ClipboardProtocol*>(this), [done = std::move(done), content] { done(content); },
        Qt::QueuedConnection);
}

void ClipboardProtocol::restore(Selection selection, const ClipboardContent& content) {
    if (selection != Selection::clipboard)
        return;
    if (!content.owned)
        clear();
    else if (!content.formats.isEmpty())
        setText(QString::fromUtf8(content.formats.constFirst().second));
}

std::optional<qint64> ClipboardProtocol::ownerProcess(Selection) const {
    return std::nullopt;
}

QString withUnixLineEndings(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
