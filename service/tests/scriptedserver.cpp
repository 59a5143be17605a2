#include "scriptedserver.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace {

QString ruleKey(const QByteArray& method, const QString& path) {
    return QString::fromLatin1(method) + u' ' + path;
}

QByteArray methodText(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "UNKNOWN";
    }
}

using Headers = QList<QPair<QByteArray, QByteArray>>;

std::optional<QByteArray> findHeader(const Headers& headers, const QByteArray& name) {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

/** The header lines of a request head, after its request line. */
Headers parseHeaders(const QByteArray& head) {
    Headers headers;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return headers;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray& name) const {
    return findHeader(headers, name).value_or(QByteArray());
}

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    return findHeader(headers, name).has_value();
}

ScriptedResponse ScriptedResponse::json(const QByteArray& body, int status) {
    return {status, body, QByteArrayLiteral("application/json"), false};
}

ScriptedResponse ScriptedResponse::empty(int status) {
    return {status, {}, {}, false};
}

ScriptedResponse ScriptedResponse::dropConnection() {
    return {0, {}, {}, true};
}

ScriptedServer::ScriptedServer(QObject* parent)
    : QAbstractHttpServer(parent) {
    m_port = listen(QHostAddress::LocalHost, 0);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &ScriptedServer::acceptSocket);
}

ScriptedServer::~ScriptedServer() = default;

QString ScriptedServer::baseUrl() const {
    return u"http://127.0.0.1:%1"_s.arg(m_port);
}

ServiceBase ScriptedServer::base() const {
    return *ServiceBase::parse(baseUrl());
}

void ScriptedServer::respond(const QByteArray& method, const QString& path,
                             const ScriptedResponse& response) {
    m_rules.insert(ruleKey(method, path), response);
}

bool ScriptedServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // QHttpServer 6.4 asks first whether an upgrade request is wanted, then hands the
    // connection to its WebSocket server.
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return true;
    RecordedRequest recorded{methodText(request.method()), request.url(), request.headers(),
                             request.body()};
    m_requests.append(recorded);
    Q_EMIT requestRecorded();

    const auto rule = m_rules.constFind(ruleKey(recorded.method, request.url().path()));
    if (rule == m_rules.constEnd())
        return false;
    if (rule->drop) {
        // After QHttpServer has finished with the request: cut without answering.
        QTimer::singleShot(0, socket, [socket] { socket->abort(); });
        return true;
    }
    auto responder = makeResponder(request, socket);
    const auto status = static_cast<QHttpServerResponder::StatusCode>(rule->status);
    if (rule->body.isEmpty() && rule->contentType.isEmpty())
        responder.write(status);
    else
        responder.write(rule->body, rule->contentType, status);
    return true;
}

void ScriptedServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket)
        .write(QByteArrayLiteral("no rule"), "text/plain",
               QHttpServerResponder::StatusCode::NotFound);
}

bool ScriptedServer::waitForRequests(int count, int timeoutMs) {
    return waitUntil([&] { return m_requests.size() >= count; }, timeoutMs);
}

void ScriptedServer::acceptSocket() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        if (!socket)
            continue;
        QWebSocket* raw = socket.get();
        m_lastSocketPath = raw->requestUrl().path();
        connect(raw, &QWebSocket::textMessageReceived, this,
                [this, raw](const QString& text) { onFrame(raw, false, text.toUtf8()); });
        connect(raw, &QWebSocket::binaryMessageReceived, this,
                [this, raw](const QByteArray& data) { onFrame(raw, true, data); });
        m_sockets.push_back(std::move(socket));
    }
}

void ScriptedServer::onFrame(QWebSocket* socket, bool binary, const QByteArray& data) {
    const ReceivedFrame frame{binary, data};
    m_frames.append(frame);
    Q_EMIT frameReceived(frame);

    const QJsonObject message = QJsonDocument::fromJson(data).object();
    const QString topic = message.value(u"topic"_s).toString();
    const QString event = message.value(u"event"_s).toString();
    if (event == u"phx_join" && !m_joinReplyStatus.isEmpty()) {
        const QJsonObject reply{{u"event"_s, u"phx_reply"_s},
                                {u"payload"_s, QJsonObject{{u"response"_s, QJsonObject{}},
                                                           {u"status"_s, m_joinReplyStatus}}},
                                {u"ref"_s, 0},
                                {u"topic"_s, topic}};
        socket->sendTextMessage(
            QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)));
    } else if (event == u"ping" && m_autoPong) {
        socket->sendTextMessage(QString::fromUtf8(pongFor(topic)));
    }
}

QByteArray ScriptedServer::pongFor(const QString& topic) {
    const QJsonObject pong{
        {u"event"_s, u"phx_reply"_s},
        {u"payload"_s, QJsonObject{{u"response"_s, u"pong"_s}, {u"status"_s, u"ok"_s}}},
        {u"ref"_s, 0},
        {u"topic"_s, topic}};
    return QJsonDocument(pong).toJson(QJsonDocument::Compact);
}

QList<QWebSocket*> ScriptedServer::sockets() const {
    QList<QWebSocket*> result;
    for (const auto& socket : m_sockets)
        result.append(socket.get());
    return result;
}

QWebSocket* ScriptedServer::lastSocket() const {
    return m_sockets.empty() ? nullptr : m_sockets.back().get();
}

bool ScriptedServer::waitForSocket(int timeoutMs) {
    return waitUntil([&] { return !m_sockets.empty(); }, timeoutMs);
}

bool ScriptedServer::waitForFrames(int count, int timeoutMs) {
    return waitUntil([&] { return m_frames.size() >= count; }, timeoutMs);
}

void ScriptedServer::sendText(const QString& text) {
    for (const auto& socket : m_sockets) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->sendTextMessage(text);
    }
}

void ScriptedServer::sendBinary(const QByteArray& data) {
    for (const auto& socket : m_sockets) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->sendBinaryMessage(data);
    }
}

void ScriptedServer::closeSockets() {
    for (const auto& socket : m_sockets)
        socket->close();
}

// ChunkedServer

ChunkedServer::ChunkedServer(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this)) {
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            // One exchange at a time: the newest connection is the one answered.
            m_socket = socket;
            m_buffer.clear();
            connect(socket, &QTcpSocket::readyRead, this, &ChunkedServer::onReadyRead);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

ChunkedServer::~ChunkedServer() = default;

quint16 ChunkedServer::port() const {
    return m_server->serverPort();
}

QString ChunkedServer::baseUrl() const {
    return u"http://127.0.0.1:%1"_s.arg(port());
}

ServiceBase ChunkedServer::base() const {
    return *ServiceBase::parse(baseUrl());
}

void ChunkedServer::onReadyRead() {
    if (!m_socket)
        return;
    m_buffer += m_socket->readAll();
    const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    const QByteArray head = m_buffer.left(headEnd);
    const qsizetype length =
        findHeader(parseHeaders(head), "Content-Length").value_or("0").toLongLong();
    if (m_buffer.size() < headEnd + 4 + length)
        return;
    m_head = head;
    m_body = m_buffer.mid(headEnd + 4, length);
    m_buffer.remove(0, headEnd + 4 + length);
    ++m_requestCount;
    Q_EMIT requestReceived();
}

QByteArray ChunkedServer::requestLine() const {
    return m_head.left(m_head.indexOf("\r\n"));
}

QByteArray ChunkedServer::header(const QByteArray& name) const {
    return findHeader(parseHeaders(m_head), name).value_or(QByteArray());
}

bool ChunkedServer::hasHeader(const QByteArray& name) const {
    return findHeader(parseHeaders(m_head), name).has_value();
}

bool ChunkedServer::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return m_requestCount >= count; }, timeoutMs);
}

void ChunkedServer::write(const QByteArray& data) {
    if (!m_socket)
        return;
    m_socket->write(data);
    m_socket->flush();
}

void ChunkedServer::beginChunked(int status) {
    write(QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) +
          QByteArrayLiteral(" OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                            "Transfer-Encoding: chunked\r\n\r\n"));
}

void ChunkedServer::writeChunk(const QByteArray& data) {
    write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
}

void ChunkedServer::finish() {
    write(QByteArrayLiteral("0\r\n\r\n"));
}

void ChunkedServer::respond(int status, const QByteArray& body) {
    write(QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) +
          QByteArrayLiteral(" Status\r\nContent-Type: text/plain\r\nContent-Length: ") +
          QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

void ChunkedServer::dropConnection() {
    if (m_socket)
        m_socket->abort();
}
