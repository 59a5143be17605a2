#include "httpserver.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstring>
#include <sys/socket.h>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcHttp, "orvane.http")

namespace {

namespace http = boost::beast::http;

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray bytesOf(boost::beast::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray statusLine(int status) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
}

/**
 * Stands between an upgraded connection and the WebSocket server, which takes a client's
 * frames whether masked or not: passes them on while they are masked, as a client's must be,
 * and ends the connection with a 1002 close frame at the first that is not.
 */
class MaskedFrameGuard : public QTcpSocket {
public:
    /** handshakeBytes: the upgrade request at the head of the connection, passed on as is. */
    MaskedFrameGuard(QTcpSocket* connection, qint64 handshakeBytes)
        : m_connection(connection)
        , m_payloadLeft(static_cast<quint64>(handshakeBytes)) {
        connection->setParent(this);
        setPeerAddress(connection->peerAddress());
        setPeerPort(connection->peerPort());
        setLocalAddress(connection->localAddress());
        setLocalPort(connection->localPort());
        setSocketState(ConnectedState);
        setOpenMode(ReadWrite);
        connect(connection, &QTcpSocket::readyRead, this, &MaskedFrameGuard::take);
        connect(connection, &QTcpSocket::bytesWritten, this, &QTcpSocket::bytesWritten);
        connect(connection, &QTcpSocket::disconnected, this, [this] {
            setSocketState(UnconnectedState);
            Q_EMIT stateChanged(UnconnectedState);
            Q_EMIT readChannelFinished();
            Q_EMIT disconnected();
        });
    }

    /** Reads what already waits; call once the WebSocket server watches this socket. */
    void take() {
        if (m_refused)
            return;
        m_unchecked += m_connection->readAll();
        const qsizetype before = m_checked.size();
        while (!m_unchecked.isEmpty()) {
            if (m_payloadLeft > 0) {
                const auto length = static_cast<qsizetype>(
                    std::min<quint64>(m_payloadLeft, static_cast<quint64>(m_unchecked.size())));
                m_checked += m_unchecked.first(length);
                m_unchecked.remove(0, length);
                m_payloadLeft -= static_cast<quint64>(length);
                continue;
            }
            if (m_unchecked.size() < 2)
                break;
            const auto second = static_cast<quint8>(m_unchecked.at(1));
            if (!(second & 0x80)) {
                m_refused = true;
                // What came before is answered first.
                QMetaObject::invokeMethod(this, &MaskedFrameGuard::refuse, Qt::QueuedConnection);
                break;
            }
            const quint8 shortLength = second & 0x7f;
            const qsizetype lengthBytes = shortLength == 126 ? 2 : shortLength == 127 ? 8 : 0;
            const qsizetype headerBytes = 2 + lengthBytes + 4;
            if (m_unchecked.size() < headerBytes)
                break;
            quint64 length = lengthBytes == 0 ? shortLength : 0;
            for (qsizetype i = 0; i < lengthBytes; ++i)
                length = (length << 8) | static_cast<quint8>(m_unchecked.at(2 + i));
            m_checked += m_unchecked.first(headerBytes);
            m_unchecked.remove(0, headerBytes);
            m_payloadLeft = length;
        }
        if (m_checked.size() > before)
            Q_EMIT readyRead();
    }

    qint64 bytesAvailable() const override {
        return QIODevice::bytesAvailable() + m_checked.size();
    }
    qint64 bytesToWrite() const override { return m_connection->bytesToWrite(); }
    bool canReadLine() const override {
        return QIODevice::canReadLine() || m_checked.contains('\n');
    }
    void disconnectFromHost() override {
        m_connection->disconnectFromHost();
        // A peer that does not take the rest within a while is not waited for.
        QTimer::singleShot(2000, m_connection, &QTcpSocket::abort);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qsizetype length = std::min<qsizetype>(m_checked.size(), maxSize);
        std::memcpy(data, m_checked.constData(), static_cast<size_t>(length));
        m_checked.remove(0, length);
        return length;
    }
    qint64 writeData(const char* data, qint64 size) override {
        return m_connection->write(data, size);
    }

private:
    void refuse() {
        qCInfo(lcHttp) << "closing a WebSocket whose client sent an unmasked frame";
        // A close frame with status 1002 (protocol error); a server's frames are unmasked.
        m_connection->write(QByteArray::fromHex("880203ea"));
        disconnectFromHost();
    }

    QTcpSocket* m_connection;
    QByteArray m_unchecked;
    QByteArray m_checked;
    /** Bytes still to pass on before the next frame header. */
    quint64 m_payloadLeft;
    bool m_refused = false;
};
} // namespace

/**
 * One client connection: reads one request at a time within the limits, hands it to
 * the server and reads the next (pipelined) one only once its answer is complete, so
 * answers go out in order and a client that sends faster than it reads is held back by
 * TCP instead of by memory.
 */
class HttpConnection : public QObject {
public:
    HttpConnection(HttpServer* server, QTcpSocket* socket);
    ~HttpConnection() override;

    /** A complete answer to the current request; the next one is read after it. */
    void respond(const QByteArray& bytes, bool close);
    /** Part of a streamed answer. */
    void write(const QByteArray& bytes);
    /** The streamed answer is complete. */
    void endAnswer();
    void abort();
    [[nodiscard]] QTcpSocket* socket() const { return m_socket; }
    [[nodiscard]] bool keepAlive() const { return m_keepAlive; }

private:
    using Parser = http::request_parser<http::string_body>;
    static constexpr qint64 LingerBytes = 8 * 1024 * 1024;
    static constexpr int LingerMs = 2000;

    void readRequests();
    void refuse(int status, const QString& message);
    HttpRequest takeRequest();
    void onTimeout();
    void armTimer(int milliseconds);

    HttpServer* m_server;
    QTcpSocket* m_socket;
    QTimer m_timer;
    std::optional<Parser> m_parser;
    /** Bytes read from the socket that the parser has not taken yet (pipelined requests). */
    QByteArray m_unparsed;
    bool m_busy = false;
    bool m_stalled = false; // the parser needs more than m_unparsed holds
    bool m_continued = false;
    bool m_keepAlive = true;
    bool m_receiving = false;
    bool m_firstRequest = true;
};

HttpConnection::HttpConnection(HttpServer* server, QTcpSocket* socket)
    : QObject(server)
    , m_server(server)
    , m_socket(socket) {
    socket->setParent(this);
    // Qt stops reading from the kernel when this much waits: a client that floods us
    // meets TCP's flow control rather than growing our buffers.
    socket->setReadBufferSize(server->limits().maxHeaderBytes + 16 * 1024);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpConnection::onTimeout);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readRequests);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    armTimer(server->limits().keepAliveTimeoutMs);
    readRequests();
}

HttpConnection::~HttpConnection() {
    --m_server->m_connections;
}

void HttpConnection::armTimer(int milliseconds) {
    m_timer.start(milliseconds);
}

void HttpConnection::onTimeout() {
    if (m_busy)
        return;
    if (m_receiving)
        return refuse(408, QStringLiteral("The request did not arrive in time."));
    m_socket->disconnectFromHost(); // an idle kept-alive connection
}

void HttpConnection::readRequests() {
    const HttpLimits& limits = m_server->limits();
    while (!m_busy && m_socket->state() == QAbstractSocket::ConnectedState) {
        if (!m_parser) {
            m_parser.emplace();
            m_parser->header_limit(static_cast<std::uint32_t>(limits.maxHeaderBytes));
            m_parser->body_limit(static_cast<std::uint64_t>(limits.maxBodyBytes));
            m_parser->eager(true);
        }
        // The head of a connection's first request is only peeked at: a WebSocket
        // upgrade leaves it in the socket for the WebSocket server to read.
        const bool peeking = m_firstRequest && !m_parser->is_header_done() && m_unparsed.isEmpty();
        QByteArray input;
        if (peeking) {
            input = m_socket->peek(m_socket->bytesAvailable());
        } else {
            const QByteArray fresh = m_socket->read(64 * 1024);
            if (fresh.isEmpty() && (m_unparsed.isEmpty() || m_stalled))
                return;
            m_stalled = false;
            input = std::exchange(m_unparsed, {}) + fresh;
        }
        if (input.isEmpty())
            return;
        if (!m_receiving) {
            m_receiving = true;
            armTimer(limits.requestTimeoutMs);
        }
        boost::beast::error_code error;
        const std::size_t used =
            m_parser->put(boost::asio::const_buffer(input.constData(), input.size()), error);
        if (peeking && m_parser->is_header_done() && m_parser->upgrade()) {
            const auto& head = m_parser->get();
            const QString path = QUrl::fromEncoded(bytesOf(head.target())).path();
            if (QByteArrayView(bytesOf(head[http::field::upgrade]))
                        .compare("websocket", Qt::CaseInsensitive) == 0 &&
                m_server->isWebSocketPath(path)) {
                m_timer.stop();
                m_socket->disconnect(this);
                QTcpSocket* socket = m_socket;
                socket->setParent(nullptr);
                socket->setReadBufferSize(0);
                m_socket = nullptr;
                HttpRequest logged;
                logged.method = "GET";
                logged.path = path;
                HttpServer::logRequest(logged, 101, 0);
                m_server->upgrade(socket, static_cast<qint64>(used));
                deleteLater();
                return;
            }
        }
        if (peeking)
            m_socket->read(static_cast<qint64>(used));
        else
            m_unparsed = input.mid(static_cast<qsizetype>(used));
        // Clients that ask first (curl does for larger bodies) are told to go on.
        if (!error || error == http::error::need_more) {
            if (m_parser->is_header_done() && !m_parser->is_done() && !m_continued &&
                QByteArrayView(bytesOf(m_parser->get()[http::field::expect]))
                        .compare("100-continue", Qt::CaseInsensitive) == 0) {
                m_continued = true;
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            }
        }
        if (error == http::error::need_more) {
            if (used == 0 && input.size() >= limits.maxHeaderBytes)
                return refuse(431, QStringLiteral("The request headers are too large."));
            if (peeking && used == 0)
                return; // wait for the rest of the head
            m_stalled = used == 0;
            continue;
        }
        if (error == http::error::header_limit)
            return refuse(431, QStringLiteral("The request headers are too large."));
        if (error == http::error::body_limit)
            return refuse(413, QStringLiteral("Request body too large."));
        if (error)
            return refuse(400, QStringLiteral("Malformed request: %1.")
                                   .arg(QString::fromStdString(error.message())));
        if (!m_parser->is_done())
            continue;
        m_firstRequest = false;
        m_receiving = false;
        m_continued = false;
        m_busy = true;
        m_timer.stop();
        m_keepAlive = m_parser->keep_alive();
        m_server->dispatch(this, takeRequest());
    }
}

HttpRequest HttpConnection::takeRequest() {
    http::request<http::string_body> message = m_parser->release();
    m_parser.reset();
    HttpRequest request;
    request.method = bytesOf(message.method_string());
    const QUrl target = QUrl::fromEncoded(bytesOf(message.target()));
    request.path = target.path();
    request.query = QUrlQuery(target);
    for (const auto& field : message) {
        const QByteArray name = bytesOf(field.name_string()).toLower();
        const QByteArray value = bytesOf(field.value());
        auto existing = request.headers.find(name);
        if (existing == request.headers.end())
            request.headers.insert(name, value);
        else
            *existing += ", " + value;
    }
    request.body = QByteArray::fromStdString(std::move(message.body()));
    request.remoteAddress = m_socket->peerAddress();
    if (m_server->m_trustedProxies.contains(request.remoteAddress)) {
        const QList<QByteArray> hops = request.header("x-forwarded-for").split(',');
        for (auto hop = hops.crbegin(); hop != hops.crend(); ++hop) {
            const QHostAddress address(QString::fromLatin1(hop->trimmed()));
            if (address.isNull())
                break;
            request.remoteAddress = address;
            if (!m_server->m_trustedProxies.contains(address))
                break;
        }
    }
    request.secure = m_server->m_tls.has_value();
    return request;
}

void HttpConnection::refuse(int status, const QString& message) {
    HttpRequest logged;
    logged.method = "-";
    HttpServer::logRequest(logged, status, 0);
    // Nothing more is parsed from a connection in an unknown state. What the client still
    // sends is read and dropped for a while, up to a limit: closing with unread data would
    // reset the connection, and the client would lose the answer.
    m_busy = true;
    m_socket->disconnect(this);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    auto drained = std::make_shared<qint64>(0);
    connect(m_socket, &QTcpSocket::readyRead, this, [this, drained] {
        *drained += m_socket->skip(m_socket->bytesAvailable());
        if (*drained > LingerBytes)
            m_socket->abort();
    });
    m_socket->skip(m_socket->bytesAvailable());
    m_socket->write(m_server->serialize(HttpResponse::text(status, message), true));
    m_socket->flush();
    connect(m_socket, &QIODevice::bytesWritten, this, [this] {
        if (m_socket->bytesToWrite() == 0)
            ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
    });
    if (m_socket->bytesToWrite() == 0)
        ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
    m_timer.disconnect(this);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_socket->abort(); });
    m_timer.start(LingerMs);
}

void HttpConnection::respond(const QByteArray& bytes, bool close) {
    if (!m_socket)
        return;
    m_socket->write(bytes);
    if (close || !m_keepAlive) {
        m_socket->disconnectFromHost();
        return;
    }
    endAnswer();
}

void HttpConnection::write(const QByteArray& bytes) {
    if (!m_socket)
        return;
    m_socket->write(bytes);
    // Pieces of an answer go out now, not when the event loop comes round to it.
    m_socket->flush();
}

void HttpConnection::endAnswer() {
    if (!m_socket)
        return;
    if (!m_keepAlive) {
        m_socket->disconnectFromHost();
        return;
    }
    m_busy = false;
    armTimer(m_server->limits().keepAliveTimeoutMs);
    // The next pipelined request may already be here; read it after this call returns.
    QMetaObject::invokeMethod(this, &HttpConnection::readRequests, Qt::QueuedConnection);
}

void HttpConnection::abort() {
    if (!m_socket)
        return;
    m_socket->flush();
    m_socket->abort();
}

QByteArray HttpRequest::bearerToken() const {
    const QByteArray value = header("authorization").trimmed();
    static const QByteArray prefix = "Bearer ";
    if (!value.startsWith(prefix))
        return {};
    return value.mid(prefix.size()).trimmed();
}

QByteArray HttpRequest::cookie(const QByteArray& name) const {
    for (const QByteArray& part : header("cookie").split(';')) {
        const QByteArray trimmed = part.trimmed();
        const qsizetype equals = trimmed.indexOf('=');
        if (equals > 0 && trimmed.left(equals) == name)
            return trimmed.mid(equals + 1);
    }
    return {};
}

HttpResponse HttpResponse::json(const QJsonObject& object, int status) {
    return {status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

HttpResponse HttpResponse::text(int status, const QString& message) {
    return {status, "text/plain; charset=utf-8", message.toUtf8() + '\n', {}};
}

HttpResponse HttpResponse::html(const QString& page, int status) {
    // Pages are self-contained: nothing may load from or post to anywhere else.
    return {status,
            "text/html; charset=utf-8",
            page.toUtf8(),
            {{"Content-Security-Policy",
              "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
              "img-src 'self' data:; connect-src 'self'; form-action 'self'; base-uri 'none'; "
              "frame-ancestors 'none'"}}};
}

HttpResponse HttpResponse::empty(int status) {
    return {status, {}, {}, {}};
}

StreamingResponse::StreamingResponse(HttpConnection* connection,
                                     std::vector<std::pair<QByteArray, QByteArray>> commonHeaders,
                                     qsizetype maxQueuedBytes, std::function<void(int)> onDone)
    : m_connection(connection)
    , m_commonHeaders(std::move(commonHeaders))
    , m_maxQueuedBytes(maxQueuedBytes)
    , m_onDone(std::move(onDone)) {
    QTcpSocket* socket = connection->socket();
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        if (m_closed)
            return;
        close(499);
        Q_EMIT clientGone();
    });
    connect(socket, &QIODevice::bytesWritten, this, [this] {
        if (m_congested && m_connection &&
            m_connection->socket()->bytesToWrite() <= m_maxQueuedBytes / 2) {
            m_congested = false;
            Q_EMIT drained();
        }
    });
}

StreamingResponse::~StreamingResponse() {
    if (!m_closed)
        abort();
}

bool StreamingResponse::isCongested() const {
    return m_congested;
}

void StreamingResponse::respond(const HttpResponse& response) {
    if (m_started || m_closed)
        return;
    HttpResponse withCommon = response;
    withCommon.headers.insert(withCommon.headers.begin(), m_commonHeaders.begin(),
                              m_commonHeaders.end());
    QByteArray bytes = statusLine(response.status);
    for (const auto& [name, value] : withCommon.headers)
        bytes += name + ": " + value + "\r\n";
    if (!response.contentType.isEmpty())
        bytes += "Content-Type: " + response.contentType + "\r\n";
    if (m_connection && !m_connection->keepAlive())
        bytes += "Connection: close\r\n";
    bytes +=
        "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n" + response.body;
    const QPointer<HttpConnection> connection = m_connection;
    close(response.status);
    if (connection)
        connection->respond(bytes, false);
}

void StreamingResponse::begin(int status, const QByteArray& contentType) {
    if (m_started || m_closed || !m_connection)
        return;
    m_started = true;
    m_status = status;
    // Small chunks must not wait for the acknowledgement of the previous one.
    m_connection->socket()->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Headers go out at once so that the client knows the answer has begun.
    m_connection->write(statusLine(status) + "Content-Type: " + contentType +
                        "\r\nCache-Control: no-store\r\nX-Accel-Buffering: no\r\n" +
                        (m_connection->keepAlive() ? QByteArray() : "Connection: close\r\n") +
                        "Transfer-Encoding: chunked\r\n\r\n");
}

void StreamingResponse::writeChunk(const QByteArray& data) {
    if (!m_started || m_closed || data.isEmpty() || !m_connection)
        return;
    m_connection->write(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
    if (m_connection->socket()->bytesToWrite() > m_maxQueuedBytes)
        m_congested = true;
}

void StreamingResponse::finish() {
    if (!m_started || m_closed)
        return;
    const QPointer<HttpConnection> connection = m_connection;
    if (connection)
        connection->write(QByteArrayLiteral("0\r\n\r\n"));
    close(m_status);
    if (connection)
        connection->endAnswer();
}

void StreamingResponse::abort(int logStatus) {
    if (m_closed)
        return;
    // Closed first, so that the socket's disconnect is not taken for the client leaving.
    const QPointer<HttpConnection> connection = m_connection;
    close(logStatus ? logStatus : (m_started ? 599 : 499));
    if (connection)
        connection->abort();
}

void StreamingResponse::close(int status) {
    m_closed = true;
    if (m_connection)
        m_connection->socket()->disconnect(this);
    if (m_onDone)
        std::exchange(m_onDone, nullptr)(status);
}

HttpServer::HttpServer(QObject* parent)
    : QObject(parent)
    , m_webSockets(std::make_unique<QWebSocketServer>(QStringLiteral("orvane-service"),
                                                      QWebSocketServer::NonSecureMode)) {
    connect(m_webSockets.get(), &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* socket = m_webSockets->nextPendingConnection())
            Q_EMIT webSocketConnected(socket);
    });
}

HttpServer::~HttpServer() {
    // Connections count themselves out of this object as they go: before it is gone.
    const QObjectList children = this->children();
    for (QObject* child : children)
        delete dynamic_cast<HttpConnection*>(child);
}

void HttpServer::setTls(const QSslCertificate& certificate, const QSslKey& key) {
    m_tls = std::pair{certificate, key};
}

quint16 HttpServer::listen(const QHostAddress& address, quint16 port) {
    QTcpServer* server = nullptr;
    if (m_tls) {
        auto* tls = new QSslServer(this);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(m_tls->first);
        configuration.setPrivateKey(m_tls->second);
        tls->setSslConfiguration(configuration);
        tls->setHandshakeTimeout(m_limits.requestTimeoutMs);
        server = tls;
    } else {
        server = new QTcpServer(this);
    }
    // A deep accept queue: many clients connect at once when a team starts its day.
    server->setListenBacklogSize(1024);
    server->setMaxPendingConnections(1024);
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::acceptPending);
    connect(server, &QTcpServer::acceptError, this, &HttpServer::onAcceptError);
    if (!server->listen(address, port)) {
        delete server;
        return 0;
    }
    m_listener = server;
    return server->serverPort();
}

void HttpServer::stopListening() {
    if (m_listener)
        m_listener->close();
}

void HttpServer::acceptPending() {
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        if (!socket)
            break;
        if (m_connections >= m_limits.maxConnections) {
            // A clear refusal costs one write; the client may come back.
            socket->write(serialize(HttpResponse::text(503, QStringLiteral("Too many connections; "
                                                                           "try again shortly.")),
                                    true));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            HttpRequest logged;
            logged.method = "-";
            logRequest(logged, 503, 0);
            continue;
        }
        ++m_connections;
        new HttpConnection(this, socket);
    }
}

void HttpServer::onAcceptError(QAbstractSocket::SocketError error) {
    // Out of descriptors, the pending connection stays in the queue and the listener would
    // wake at once again: Qt pauses accepting; try again a little later instead of spinning.
    qCWarning(lcHttp).noquote() << "cannot accept a connection:"
                                << (m_listener ? m_listener->errorString() : QString())
                                << QStringLiteral("(%1)").arg(static_cast<int>(error));
    if (m_listener)
        m_listener->pauseAccepting();
    QTimer::singleShot(200, this, [this] {
        if (m_listener) {
            m_listener->resumeAccepting();
            acceptPending();
        }
    });
}

void HttpServer::upgrade(QTcpSocket* socket, qint64 handshakeBytes) {
    auto* guard = new MaskedFrameGuard(socket, handshakeBytes);
    m_webSockets->handleConnection(guard);
    guard->take();
}

void HttpServer::route(const QByteArray& method, const QString& pattern, RouteHandler handler) {
    addRoute(method, pattern, std::move(handler), nullptr);
}

void HttpServer::streamingRoute(const QByteArray& method, const QString& pattern,
                                StreamingRouteHandler handler) {
    addRoute(method, pattern, nullptr, std::move(handler));
}

void HttpServer::deferredRoute(const QByteArray& method, const QString& pattern,
                               DeferredRouteHandler handler) {
    streamingRoute(
        method, pattern,
        [this, handler](const HttpRequest& request, std::unique_ptr<StreamingResponse> response) {
            // The response lives until the answer is written or the client has gone.
            StreamingResponse* pending = response.release();
            pending->setParent(this);
            handler(request).then(pending, [pending](const HttpResponse& answer) {
                pending->respond(answer);
                pending->deleteLater();
            });
        });
}

void HttpServer::setCommonHeaders(std::vector<std::pair<QByteArray, QByteArray>> headers) {
    m_commonHeaders = std::move(headers);
}

void HttpServer::addRoute(const QByteArray& method, const QString& pattern, RouteHandler handler,
                          StreamingRouteHandler streamingHandler) {
    QString expression = QRegularExpression::escape(pattern);
    expression.replace(QLatin1String("\\{\\}"), QLatin1String("([^/]+)"));
    m_routes.push_back({method,
                        QRegularExpression(QLatin1Char('^') + expression + QLatin1Char('$')),
                        std::move(handler), std::move(streamingHandler)});
}

QByteArray HttpServer::serialize(const HttpResponse& response, bool close) const {
    QByteArray bytes = statusLine(response.status);
    for (const auto& [name, value] : m_commonHeaders)
        bytes += name + ": " + value + "\r\n";
    if (!response.contentType.isEmpty())
        bytes += "Content-Type: " + response.contentType + "\r\n";
    for (const auto& [name, value] : response.headers)
        bytes += name + ": " + value + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    return bytes + "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n" +
           response.body;
}

void HttpServer::dispatch(HttpConnection* connection, HttpRequest request) {
    QElapsedTimer timer;
    timer.start();
    const auto finishWith = [&](const HttpResponse& response) {
        connection->respond(serialize(response, !connection->keepAlive()), false);
        logRequest(request, response.status, timer.elapsed());
    };
    if (request.header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return finishWith(HttpResponse::text(404, QStringLiteral("Not found.")));

    bool pathKnown = false;
    for (const Route& route : m_routes) {
        const QRegularExpressionMatch match = route.pattern.match(request.path);
        if (!match.hasMatch())
            continue;
        pathKnown = true;
        if (route.method != request.method)
            continue;
        request.pathArguments = match.capturedTexts().mid(1);
        if (route.handler)
            return finishWith(route.handler(request));

        ++m_openStreams;
        Q_EMIT openStreamsChanged(m_openStreams);
        auto stream = std::make_unique<StreamingResponse>(
            connection, m_commonHeaders, m_limits.maxQueuedAnswerBytes,
            [this, request, timer](int status) {
                --m_openStreams;
                Q_EMIT openStreamsChanged(m_openStreams);
                logRequest(request, status, timer.elapsed());
            });
        route.streamingHandler(request, std::move(stream));
        return;
    }
    if (pathKnown)
        return finishWith(HttpResponse::text(405, QStringLiteral("Method not allowed.")));
    finishWith(HttpResponse::text(404, QStringLiteral("Not found.")));
}

QString escapedForLog(const QString& text) {
    // A decoded path may hold line breaks; written as they are they would forge log lines.
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\') ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

void HttpServer::logRequest(const HttpRequest& request, int status, qint64 elapsedMs) {
    // Only the path: queries carry sign-in tokens, headers and bodies carry secrets and text.
    qCInfo(lcHttp).noquote() << QStringLiteral("method=%1 path=%2 status=%3 ms=%4")
                                    .arg(QString::fromLatin1(request.method),
                                         escapedForLog(request.path))
                                    .arg(status)
                                    .arg(elapsedMs);
}

} // namespace OrvaneServer
