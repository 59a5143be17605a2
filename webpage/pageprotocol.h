#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

/**
 * The JSON lines spoken between orvane and its page helper over the helper's
 * standard input and output, one object per line.
 *
 * To the helper: {"command": "load", "url", "headers": [[name, value], ...],
 * "background", "reloadActionId"}, {"command": "reload"}, {"command": "moved"} (the
 * window has moved on the screen with orvane's), {"command": "quit"}.
 * From the helper: {"window": id}, {"action": identifier}, {"loaded": url}.
 */
namespace PageProtocol {

using Header = QPair<QByteArray, QByteArray>;

struct Load {
    QUrl url;
    QList<Header> headers;
    QString background;
    QString reloadActionId;
    friend bool operator==(const Load&, const Load&) = default;
};

[[nodiscard]] QByteArray loadCommand(const Load& load);
[[nodiscard]] QByteArray reloadCommand();
[[nodiscard]] QByteArray movedCommand();
[[nodiscard]] QByteArray quitCommand();
/** The load a "load" command carries; nothing for any other object. */
[[nodiscard]] std::optional<Load> parseLoad(const QJsonObject& command);

[[nodiscard]] QByteArray windowReport(quint64 window);
[[nodiscard]] QByteArray actionReport(const QString& identifier);
[[nodiscard]] QByteArray loadedReport(const QUrl& url);

/** Splits a byte stream into its JSON objects; anything else on a line is skipped. */
class LineReader {
public:
    [[nodiscard]] QList<QJsonObject> append(const QByteArray& bytes);

private:
    QByteArray m_pending;
};

} // namespace PageProtocol
