#include "httpserver.h"

#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QWebSocket>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcHttp, "orvane.http")

namespace {

QByteArray methodName(QHttpServerRequest::Method method) {
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
        return "OTHER";
    }
}

HttpRequest toRequest(const QHttpServerRequest& request) {
    HttpRequest result;
    result.method = methodName(request.method());
    result.path = request.url().path();
    result.query = request.query();
    for (const auto& [name, value] : request.headers())
        result.headers.insert(name.toLower(), value);
    result.body = request.body();
    result.remoteAddress = request.remoteAddress();
    return result;
}

} // namespace

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

StreamingResponse::StreamingResponse(QHttpServerResponder&& responder, QTcpSocket* socket,
                                     std::vector<std::pair<QByteArray, QByteArray>> commonHeaders,
                                     std::function<void(int)> onDone)
    : m_responder(std::make_unique<QHttpServerResponder>(std::move(responder)))
    , m_socket(socket)
    , m_commonHeaders(std::move(commonHeaders))
    , m_onDone(std::move(onDone)) {
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        if (m_closed)
            return;
        close(499);
        Q_EMIT clientGone();
    });
}

StreamingResponse::~StreamingResponse() {
    if (!m_closed)
        abort();
}

void StreamingResponse::respond(const HttpResponse& response) {
    if (m_started || m_closed)
        return;
    m_responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(response.status));
    for (const auto& [name, value] : m_commonHeaders)
        m_responder->writeHeader(name, value);
    if (!response.contentType.isEmpty())
        m_responder->writeHeader("Content-Type", response.contentType);
    for (const auto& [name, value] : response.headers)
        m_responder->writeHeader(name, value);
    m_responder->writeHeader("Content-Length", QByteArray::number(response.body.size()));
    m_responder->writeBody(response.body);
    close(response.status);
}

void StreamingResponse::begin(int status, const QByteArray& contentType) {
    if (m_started || m_closed)
        return;
    m_started = true;
    m_status = status;
    // Small chunks must not wait for the acknowledgement of the previous one.
    if (m_socket)
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_responder->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    m_responder->writeHeader("Content-Type", contentType);
    m_responder->writeHeader("Cache-Control", "no-store");
    m_responder->writeHeader("X-Accel-Buffering", "no");
    m_responder->writeHeader("Transfer-Encoding", "chunked");
    // Headers go out at once so that the client knows the answer has begun.
    m_responder->writeBody(QByteArray());
    if (m_socket)
        m_socket->flush();
}

void StreamingResponse::writeChunk(const QByteArray& data) {
    if (!m_started || m_closed || data.isEmpty())
        return;
    m_responder->writeBody(QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n");
    if (m_socket)
        m_socket->flush();
}

void StreamingResponse::finish() {
    if (!m_started || m_closed)
        return;
    m_responder->writeBody(QByteArrayLiteral("0\r\n\r\n"));
    if (m_socket)
        m_socket->flush();
    close(m_status);
}

void StreamingResponse::abort(int logStatus) {
    if (m_closed)
        return;
    // Closed first, so that the socket's disconnect is not taken for the client leaving.
    const QPointer<QTcpSocket> socket = m_socket;
    close(logStatus ? logStatus : (m_started ? 599 : 499));
    if (socket)
        socket->abort();
}

void StreamingResponse::close(int status) {
    m_closed = true;
    m_responder.reset();
    if (m_onDone)
        std::exchange(m_onDone, nullptr)(status);
}

HttpServer::HttpServer(QObject* parent)
    : QAbstractHttpServer(parent) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
            if (socket)
                Q_EMIT webSocketConnected(socket.release());
        }
    });
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

bool HttpServer::handleRequest(const QHttpServerRequest& serverRequest, QTcpSocket* socket) {
    QElapsedTimer timer;
    timer.start();
    HttpRequest request = toRequest(serverRequest);
    // Accepting an upgrade request hands the connection to the WebSocket side of the server.
    if (request.header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        const bool accepted = m_webSocketPaths.contains(request.path);
        logRequest(request, accepted ? 101 : 404, timer.elapsed());
        return accepted;
    }
    QHttpServerResponder responder = makeResponder(serverRequest, socket);

    const auto finishWith = [&](const HttpResponse& response) {
        write(responder, response);
        logRequest(request, response.status, timer.elapsed());
        return true;
    };

    if (request.body.size() > MaxBodyBytes ||
        request.header("content-length").toLongLong() > MaxBodyBytes)
        return finishWith(HttpResponse::text(413, QStringLiteral("Request body too large.")));

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
            std::move(responder), socket, m_commonHeaders, [this, request, timer](int status) {
                --m_openStreams;
                Q_EMIT openStreamsChanged(m_openStreams);
                logRequest(request, status, timer.elapsed());
            });
        route.streamingHandler(request, std::move(stream));
        return true;
    }
    if (pathKnown)
        return finishWith(HttpResponse::text(405, QStringLiteral("Method not allowed.")));
    return finishWith(HttpResponse::text(404, QStringLiteral("Not found.")));
}

void HttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    write(responder, HttpResponse::text(404, QStringLiteral("Not found.")));
}

void HttpServer::write(QHttpServerResponder& responder, const HttpResponse& response) {
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(response.status));
    for (const auto& [name, value] : m_commonHeaders)
        responder.writeHeader(name, value);
    if (!response.contentType.isEmpty())
        responder.writeHeader("Content-Type", response.contentType);
    for (const auto& [name, value] : response.headers)
        responder.writeHeader(name, value);
    responder.writeHeader("Content-Length", QByteArray::number(response.body.size()));
    responder.writeBody(response.body);
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
