#include "chatmodelserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

void writeChunk(QTcpSocket* socket, const QByteArray& data) {
    socket->write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
}

QByteArray deltaEvent(const QString& content) {
    const QJsonObject delta{{"content", content}};
    const QJsonObject choice{{"index", 0}, {"delta", delta}};
    const QJsonObject body{{"object", "chat.completion.chunk"}, {"choices", QJsonArray{choice}}};
    return "data: " + QJsonDocument(body).toJson(QJsonDocument::Compact) + "\n\n";
}

} // namespace

ChatModelServer::ChatModelServer(QList<QStringList> answers, QObject* parent)
    : QObject(parent)
    , m_answers(std::move(answers)) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    });
}

QString ChatModelServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(m_server.serverPort());
}

void ChatModelServer::read(QTcpSocket* socket) {
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    qsizetype length = 0;
    for (const QByteArray& line : buffer.left(headerEnd).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (buffer.size() < headerEnd + 4 + length)
        return;
    m_requests.append(buffer.mid(headerEnd + 4, length));
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n"
        "Connection: close\r\n\r\n");
    answer(socket, m_answers.at(std::min(m_requests.size(), m_answers.size()) - 1), 0);
}

void ChatModelServer::answer(QTcpSocket* socket, const QStringList& pieces, qsizetype piece) {
    if (piece == pieces.size()) {
        writeChunk(socket, "data: [DONE]\n\n");
        socket->write("0\r\n\r\n");
        socket->disconnectFromHost();
        ++m_answered;
        return;
    }
    writeChunk(socket, deltaEvent(pieces.at(piece)));
    socket->flush();
    // A little apart, as a model writes them.
    QTimer::singleShot(40, socket,
                       [this, socket, pieces, piece] { answer(socket, pieces, piece + 1); });
}
