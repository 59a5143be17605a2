#pragma once

#include <QAbstractSocket>
#include <QFuture>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrlQuery>
#include <QWebSocket>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QWebSocketServer;

namespace OrvaneServer {

/** One parsed HTTP request as route handlers see it. Header names are lower case. */
struct HttpRequest {
    QByteArray method;
    QString path;
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
    QHostAddress remoteAddress;
    /** Arrived over TLS. */
    bool secure = false;
    /** Captures of the route pattern, in order (for example the id of /api/0/presets/ID). */
    QStringList pathArguments;

    [[nodiscard]] QByteArray header(const QByteArray& lowerCaseName) const {
        return headers.value(lowerCaseName);
    }
    /** The credential of "Authorization: Bearer KEY", empty when absent or malformed. */
    [[nodiscard]] QByteArray bearerToken() const;
    [[nodiscard]] QByteArray cookie(const QByteArray& name) const;
};

/** A complete answer, as returned by plain route handlers. */
struct HttpResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;

    static HttpResponse json(const QJsonObject& object, int status = 200);
    static HttpResponse text(int status, const QString& message);
    static HttpResponse html(const QString& page, int status = 200);
    static HttpResponse empty(int status);
};

/** What one client may make the HTTP front hold, and for how long. */
struct HttpLimits {
    qsizetype maxBodyBytes = 1024 * 1024;
    /** Request line plus headers; more is refused with 431. */
    qsizetype maxHeaderBytes = 16 * 1024;
    /** A request's headers and body must be in within this. */
    int requestTimeoutMs = 30'000;
    /** A kept-alive connection with no request is closed after this. */
    int keepAliveTimeoutMs = 60'000;
    int maxConnections = 2000;
    /** Answer bytes waiting for a slow reader beyond which a stream stops reading its model. */
    qsizetype maxQueuedAnswerBytes = 64 * 1024;
};

class HttpConnection;

/**
 * An answer written piece by piece with chunked transfer. The first write
 * decides the status; destroying an unfinished stream cuts the connection so
 * that the client sees a failed transfer rather than a short answer.
 */
class StreamingResponse : public QObject {
    Q_OBJECT
public:
    StreamingResponse(HttpConnection* connection,
                      std::vector<std::pair<QByteArray, QByteArray>> commonHeaders,
                      qsizetype maxQueuedBytes, std::function<void(int)> onDone);
    ~StreamingResponse() override;

    /** Sends a complete non-streamed answer instead (for failures before the first chunk). */
    void respond(const HttpResponse& response);
    void begin(int status, const QByteArray& contentType);
    void writeChunk(const QByteArray& data);
    void finish();
    /**
     * Ends the transfer abnormally: the connection is closed without the final chunk.
     * logStatus is what the request log shows (0: 599 once started, 499 before).
     */
    void abort(int logStatus = 0);

    [[nodiscard]] bool isStarted() const { return m_started; }
    [[nodiscard]] bool isClosed() const { return m_closed; }
    /** More of the answer waits for the client than it should; see drained(). */
    [[nodiscard]] bool isCongested() const;

Q_SIGNALS:
    /** The client went away before the answer was complete. */
    void clientGone();
    /** A congested answer has been mostly read by the client. */
    void drained();

private:
    void close(int status);

    QPointer<HttpConnection> m_connection;
    std::vector<std::pair<QByteArray, QByteArray>> m_commonHeaders;
    qsizetype m_maxQueuedBytes;
    std::function<void(int)> m_onDone;
    int m_status = 0;
    bool m_started = false;
    bool m_closed = false;
    bool m_congested = false;
};

/** text with control characters and backslashes written as \xNN, fit for one log line. */
[[nodiscard]] QString escapedForLog(const QString& text);

using RouteHandler = std::function<HttpResponse(const HttpRequest&)>;
/** For answers computed off the event loop (password hashing): the future resolves on it. */
using DeferredRouteHandler = std::function<QFuture<HttpResponse>(const HttpRequest&)>;
using StreamingRouteHandler =
    std::function<void(const HttpRequest&, std::unique_ptr<StreamingResponse>)>;

/**
 * The HTTP/1.1 front: reads requests within HttpLimits (Boost.Beast's parser decides
 * what a well-formed request is), matches them to routes, answers them in order, logs
 * each (method, path, status, time; never queries, headers or bodies) and hands
 * WebSocket upgrades on to whoever listens to webSocketConnected.
 */
class HttpServer : public QObject {
    Q_OBJECT
public:
    explicit HttpServer(QObject* parent = nullptr);
    ~HttpServer() override;

    void setLimits(const HttpLimits& limits) { m_limits = limits; }
    [[nodiscard]] const HttpLimits& limits() const { return m_limits; }
    /**
     * Requests from these addresses carry the client's address in X-Forwarded-For (the
     * rightmost entry that is not itself a trusted proxy); from anywhere else the header is
     * ignored.
     */
    void setTrustedProxies(QList<QHostAddress> proxies) { m_trustedProxies = std::move(proxies); }
    /** Serves HTTPS with this certificate and key from the next listen() on. */
    void setTls(const QSslCertificate& certificate, const QSslKey& key);
    /** The port listened on, 0 when listening failed. */
    quint16 listen(const QHostAddress& address, quint16 port);
    /** Stops accepting connections; those open are served to their end. */
    void stopListening();

    /** pattern is a path in which "{}" stands for one path segment. */
    void route(const QByteArray& method, const QString& pattern, RouteHandler handler);
    void streamingRoute(const QByteArray& method, const QString& pattern,
                        StreamingRouteHandler handler);

    void deferredRoute(const QByteArray& method, const QString& pattern,
                       DeferredRouteHandler handler);

    /** WebSocket upgrades are accepted at these paths only; see webSocketConnected. */
    void acceptWebSocketsAt(const QString& path) { m_webSocketPaths.append(path); }

    /** Headers added to every complete answer (security headers). */
    void setCommonHeaders(std::vector<std::pair<QByteArray, QByteArray>> headers);
    void addCommonHeader(const QByteArray& name, const QByteArray& value) {
        m_commonHeaders.emplace_back(name, value);
    }

    [[nodiscard]] int openStreams() const { return m_openStreams; }

Q_SIGNALS:
    void webSocketConnected(QWebSocket* socket);
    void openStreamsChanged(int count);

private:
    friend class HttpConnection;

    struct Route {
        QByteArray method;
        QRegularExpression pattern;
        RouteHandler handler;
        StreamingRouteHandler streamingHandler;
    };

    void addRoute(const QByteArray& method, const QString& pattern, RouteHandler handler,
                  StreamingRouteHandler streamingHandler);
    void acceptPending();
    void onAcceptError(QAbstractSocket::SocketError error);
    /** Runs the request on connection; the connection hears when its answer is complete. */
    void dispatch(HttpConnection* connection, HttpRequest request);
    [[nodiscard]] bool isWebSocketPath(const QString& path) const {
        return m_webSocketPaths.contains(path);
    }
    void upgrade(QTcpSocket* socket, qint64 handshakeBytes);
    [[nodiscard]] QByteArray serialize(const HttpResponse& response, bool close) const;
    static void logRequest(const HttpRequest& request, int status, qint64 elapsedMs);

    HttpLimits m_limits;
    std::vector<Route> m_routes;
    std::vector<std::pair<QByteArray, QByteArray>> m_commonHeaders;
    QStringList m_webSocketPaths;
    QList<QHostAddress> m_trustedProxies;
    QPointer<QTcpServer> m_listener;
    std::unique_ptr<QWebSocketServer> m_webSockets;
    std::optional<std::pair<QSslCertificate, QSslKey>> m_tls;
    int m_connections = 0;
    int m_openStreams = 0;
};

} // namespace OrvaneServer
