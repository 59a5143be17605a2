#include "webpage/pageprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace PageProtocol {

namespace {

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray loadCommand(const Load& load) {
    QJsonArray headers;
    for (const Header& header : load.headers)
        headers.append(
            QJsonArray{QString::fromUtf8(header.first), QString::fromUtf8(header.second)});
    return line({{QStringLiteral("command"), QStringLiteral("load")},
                 {QStringLiteral("url"), load.url.toString(QUrl::FullyEncoded)},
                 {QStringLiteral("headers"), headers},
                 {QStringLiteral("background"), load.background},
                 {QStringLiteral("reloadActionId"), load.reloadActionId}});
}

QByteArray reloadCommand() {
    return line({{QStringLiteral("command"), QStringLiteral("reload")}});
}

QByteArray movedCommand() {
    return line({{QStringLiteral("command"), QStringLiteral("moved")}});
}

QByteArray quitCommand() {
    return line({{QStringLiteral("command"), QStringLiteral("quit")}});
}

std::optional<Load> parseLoad(const QJsonObject& command) {
    if (command.value(QStringLiteral("command")).toString() != QLatin1String("load"))
        return std::nullopt;
    Load load;
    load.url = QUrl(command.value(QStringLiteral("url")).toString(), QUrl::StrictMode);
    if (!load.url.isValid())
        return std::nullopt;
    for (const QJsonValue& header : command.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray pair = header.toArray();
        if (pair.size() == 2)
            load.headers.append({pair[0].toString().toUtf8(), pair[1].toString().toUtf8()});
    }
    load.background = command.value(QStringLiteral("background")).toString();
    load.reloadActionId = command.value(QStringLiteral("reloadActionId")).toString();
    return load;
}

QByteArray windowReport(quint64 window) {
    // A JSON number holds every X window id exactly (they fit in 29 bits).
    return line({{QStringLiteral("window"), double(window)}});
}

QByteArray actionReport(const QString& identifier) {
    return line({{QStringLiteral("action"), identifier}});
}

QByteArray loadedReport(const QUrl& url) {
    return line({{QStringLiteral("loaded"), url.toString(QUrl::FullyEncoded)}});
}

QList<QJsonObject> LineReader::append(const QByteArray& bytes) {
    m_pending += bytes;
    QList<QJsonObject> objects;
    qsizetype end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QJsonDocument document = QJsonDocument::fromJson(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (document.isObject())
            objects.append(document.object());
    }
    return objects;
}

} // namespace PageProtocol
