#pragma once

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QPointer>
#include <QRegularExpression>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;
class QWebSocket;

namespace OrvaneServer {

/** One parsed HTTP request as route handlers see it. Header names are lower case. */
struct HttpRequest {
    QByteArray method;
    QString path;
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
    QHostAddress remoteAddress;
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

/**
 * An answer written piece by piece with chunked transfer. The first write
 * decides the status; destroying an unfinished stream cuts the connection so
 * that the client sees a failed transfer rather than a short answer.
 */
class StreamingResponse : public QObject {
    Q_OBJECT
public:
    StreamingResponse(QHttpServerResponder&& responder, QTcpSocket* socket,
                      std::vector<std::pair<QByteArray, QByteArray>> commonHeaders,
                      std::function<void(int)> onDone);
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

Q_SIGNALS:
    /** The client went away before the answer was complete. */
    void clientGone();

private:
    void close(int status);

    std::unique_ptr<QHttpServerResponder> m_responder;
    QPointer<QTcpSocket> m_socket;
    std::vector<std::pair<QByteArray, QByteArray>> m_commonHeaders;
    std::function<void(int)> m_onDone;
    int m_status = 0;
    bool m_started = false;
    bool m_closed = false;
};

/** text with control characters and backslashes written as \xNN, fit for one log line. */
[[nodiscard]] QString escapedForLog(const QString& text);

using RouteHandler = std::function<HttpResponse(const HttpRequest&)>;
/** For answers computed off the event loop (password hashing): the future resolves on it. */
using DeferredRouteHandler = std::function<QFuture<HttpResponse>(const HttpRequest&)>;
using StreamingRouteHandler =
    std::function<void(const HttpRequest&, std::unique_ptr<StreamingResponse>)>;

/**
 * The HTTP front: matches requests to routes, enforces the body limit, logs
 * each request (method, path, status, time; never queries, headers or bodies)
 * and hands WebSocket upgrades on to whoever listens to webSocketConnected.
 */
class HttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qsizetype MaxBodyBytes = 1024 * 1024;

    explicit HttpServer(QObject* parent = nullptr);

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

    [[nodiscard]] int openStreams() const { return m_openStreams; }

Q_SIGNALS:
    void webSocketConnected(QWebSocket* socket);
    void openStreamsChanged(int count);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Route {
        QByteArray method;
        QRegularExpression pattern;
        RouteHandler handler;
        StreamingRouteHandler streamingHandler;
    };

    void addRoute(const QByteArray& method, const QString& pattern, RouteHandler handler,
                  StreamingRouteHandler streamingHandler);
    void write(QHttpServerResponder& responder, const HttpResponse& response);
    static void logRequest(const HttpRequest& request, int status, qint64 elapsedMs);

    std::vector<Route> m_routes;
    std::vector<std::pair<QByteArray, QByteArray>> m_commonHeaders;
    QStringList m_webSocketPaths;
    int m_openStreams = 0;
};

} // namespace OrvaneServer
