#include "scriptedserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace {

QByteArray replyFor(const QString& topic, const QByteArray& response, const QString& status) {
    return R"({"event":"phx_reply","payload":{"response":)" + response + R"(,"status":")" +
           status.toUtf8() + R"("},"ref":0,"topic":")" + topic.toUtf8() + "\"}";
}

void answer(QTcpSocket* socket, const ScriptedResponse& response) {
    if (response.drop) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    if (!response.body.isEmpty())
        head += "Content-Type: " + response.type + "\r\n";
    socket->write(head + "Content-Length: " + QByteArray::number(response.body.size()) +
                  "\r\n\r\n" + response.body);
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.isNull() ? QByteArray("") : value;
    }
    return {};
}

ScriptedServer::ScriptedServer(bool holdUnmatched)
    : m_holdUnmatched(holdUnmatched) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    connect(&m_sockets, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* raw = m_sockets.nextPendingConnection()) {
            connect(raw, &QWebSocket::textMessageReceived, this,
                    [this, raw](const QString& text) { onFrame(raw, false, text.toUtf8()); });
            connect(raw, &QWebSocket::binaryMessageReceived, this,
                    [this, raw](const QByteArray& data) { onFrame(raw, true, data); });
            m_openSockets.emplace_back(raw);
        }
    });
}

QString ScriptedServer::baseUrl() const {
    return u"http://127.0.0.1:%1"_s.arg(port());
}

void ScriptedServer::respond(const QByteArray& method, const QString& path,
                             const ScriptedResponse& response) {
    m_rules.insert(QString::fromLatin1(method) + u' ' + path, response);
}

void ScriptedServer::onReadyRead(QTcpSocket* socket) {
    // Nothing is consumed until a whole request is there, so that an upgrade request
    // reaches the WebSocket server untouched.
    while (socket->isOpen()) {
        const QByteArray seen = socket->peek(socket->bytesAvailable());
        const qsizetype headEnd = seen.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = seen.left(headEnd).split('\n');
        request.line = lines.first().trimmed();
        for (const QByteArray& line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        if (request.header("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
            socket->disconnect();
            m_sockets.handleConnection(socket);
            Q_EMIT socket->readyRead();
            return;
        }
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (seen.size() < headEnd + 4 + length)
            return;
        socket->read(headEnd + 4);
        request.body = socket->read(length);
        m_requests.append(request);
        // The rule of "METHOD /path", without the query.
        const QList<QByteArray> parts = request.line.split(' ');
        const auto rule = m_rules.constFind(
            QString::fromLatin1(parts.value(0) + ' ' + parts.value(1).split('?').first()));
        if (rule != m_rules.constEnd())
            answer(socket, *rule);
        else if (m_holdUnmatched)
            m_held = socket;
        else
            answer(socket, {404, "no rule", false, "text/plain"});
    }
}

bool ScriptedServer::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_requests.size() >= count; }, timeoutMs);
}

void ScriptedServer::write(const QByteArray& data) {
    if (m_held)
        m_held->write(data);
}

void ScriptedServer::beginChunked(int status) {
    write("HTTP/1.1 " + QByteArray::number(status) +
          " Scripted\r\nContent-Type: text/plain; charset=utf-8\r\n"
          "Transfer-Encoding: chunked\r\n\r\n");
}

void ScriptedServer::writeChunk(const QByteArray& data) {
    write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
}

void ScriptedServer::respond(int status, const QByteArray& body) {
    if (m_held)
        answer(m_held, {status, body, false, "text/plain"});
}

void ScriptedServer::writeAndClose(const QByteArray& data) {
    write(data);
    if (m_held)
        m_held->disconnectFromHost();
}

void ScriptedServer::onFrame(QWebSocket* socket, bool binary, const QByteArray& data) {
    m_frames.append({binary, data});
    const QJsonObject message = QJsonDocument::fromJson(data).object();
    const QString topic = message.value(u"topic"_s).toString();
    const QString event = message.value(u"event"_s).toString();
    if (event == u"phx_join" && !m_joinReplyStatus.isEmpty())
        socket->sendTextMessage(QString::fromUtf8(replyFor(topic, "{}", m_joinReplyStatus)));
    else if (event == u"ping" && m_autoPong)
        socket->sendTextMessage(QString::fromUtf8(pongFor(topic)));
}

QByteArray ScriptedServer::pongFor(const QString& topic) {
    return replyFor(topic, "\"pong\"", u"ok"_s);
}

QWebSocket* ScriptedServer::lastSocket() const {
    return m_openSockets.empty() ? nullptr : m_openSockets.back().get();
}

bool ScriptedServer::waitForFrames(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_frames.size() >= count; }, timeoutMs);
}

void ScriptedServer::send(const QByteArray& data, bool binary) {
    for (const auto& socket : m_openSockets) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (binary)
            socket->sendBinaryMessage(data);
        else
            socket->sendTextMessage(QString::fromUtf8(data));
    }
}
