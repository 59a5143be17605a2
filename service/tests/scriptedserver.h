#pragma once

#include "service/servicebase.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <vector>

class QWebSocket;

/** One request as the scripted server saw it. */
struct RecordedRequest {
    QByteArray method;
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    /** The value of the named header (case-insensitive), or a null array when absent. */
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
    [[nodiscard]] bool hasHeader(const QByteArray& name) const;
};

/** What the server answers to a request. */
struct ScriptedResponse {
    int status = 200;
    QByteArray body;
    QByteArray contentType = QByteArrayLiteral("application/json");
    /** Close the connection without answering. */
    bool drop = false;

    static ScriptedResponse json(const QByteArray& body, int status = 200);
    static ScriptedResponse empty(int status);
    static ScriptedResponse dropConnection();
};

/** A frame the server received on a WebSocket. */
struct ReceivedFrame {
    bool binary = false;
    QByteArray data;
};

/**
 * A scripted stand-in for the service on a free loopback port: QHttpServer's request
 * handling for HTTP, its WebSocket upgrade (a QWebSocketServer inside) for the socket
 * on the same port. Every request and frame is recorded; answers come from the rules
 * a test sets. Requests without a rule get 404.
 */
class ScriptedServer final : public QAbstractHttpServer {
    Q_OBJECT

public:
    explicit ScriptedServer(QObject* parent = nullptr);
    ~ScriptedServer() override;

    [[nodiscard]] quint16 port() const { return m_port; }
    /** "http://127.0.0.1:<port>". */
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] ServiceBase base() const;

    /** Answers every later request with this method and path (query ignored) so. */
    void respond(const QByteArray& method, const QString& path, const ScriptedResponse& response);

    [[nodiscard]] const QList<RecordedRequest>& requests() const { return m_requests; }
    /** Waits (running the event loop) until at least count requests arrived. */
    bool waitForRequests(int count, int timeoutMs = 5000);

    // WebSocket side.
    /** Answer joins with {"event": "phx_reply", "payload": {"response": {}, "status": S}}. */
    void setJoinReplyStatus(const QString& status) { m_joinReplyStatus = status; }
    /** Answer pings with a pong (default on). */
    void setAutoPong(bool on) { m_autoPong = on; }
    [[nodiscard]] QList<QWebSocket*> sockets() const;
    [[nodiscard]] QWebSocket* lastSocket() const;
    [[nodiscard]] const QList<ReceivedFrame>& frames() const { return m_frames; }
    /** The path the last socket asked for in its upgrade request. */
    [[nodiscard]] QString lastSocketPath() const { return m_lastSocketPath; }
    bool waitForSocket(int timeoutMs = 5000);
    bool waitForFrames(int count, int timeoutMs = 5000);
    /** Sends a text frame to every open socket. */
    void sendText(const QString& text);
    void sendBinary(const QByteArray& data);
    /** Closes every socket with the given code. */
    void closeSockets();

    /** {"event":"phx_reply","payload":{"response":"pong","status":"ok"},"ref":0,"topic":T}. */
    static QByteArray pongFor(const QString& topic);

Q_SIGNALS:
    void requestRecorded();
    void frameReceived(const ReceivedFrame& frame);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void acceptSocket();
    void onFrame(QWebSocket* socket, bool binary, const QByteArray& data);

    quint16 m_port = 0;
    QHash<QString, ScriptedResponse> m_rules;
    QList<RecordedRequest> m_requests;
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    QList<ReceivedFrame> m_frames;
    QString m_lastSocketPath;
    QString m_joinReplyStatus = QStringLiteral("ok");
    bool m_autoPong = true;
};

/**
 * A hand-written HTTP/1.1 responder on a free loopback port for streaming answers:
 * the test decides when each chunk of a chunked body goes out.
 */
class ChunkedServer final : public QObject {
    Q_OBJECT

public:
    explicit ChunkedServer(QObject* parent = nullptr);
    ~ChunkedServer() override;

    [[nodiscard]] quint16 port() const;
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] ServiceBase base() const;

    /** The last complete request: its head (request line and headers) and body. */
    [[nodiscard]] const QByteArray& requestHead() const { return m_head; }
    [[nodiscard]] const QByteArray& requestBody() const { return m_body; }
    [[nodiscard]] QByteArray requestLine() const;
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
    [[nodiscard]] bool hasHeader(const QByteArray& name) const;
    [[nodiscard]] int requestCount() const { return m_requestCount; }
    /** Waits (running the event loop) until count requests have arrived in all. */
    bool waitForRequests(int count, int timeoutMs = 5000);

    /** Status line and headers of a chunked answer; chunks follow with writeChunk. */
    void beginChunked(int status = 200);
    void writeChunk(const QByteArray& data);
    /** The last chunk; the answer is complete. */
    void finish();
    /** A whole answer with Content-Length. */
    void respond(int status, const QByteArray& body);
    /** Cuts the connection. */
    void dropConnection();

Q_SIGNALS:
    void requestReceived();

private:
    void onReadyRead();
    void write(const QByteArray& data);

    class QTcpServer* m_server;
    QPointer<class QTcpSocket> m_socket;
    QByteArray m_buffer;
    QByteArray m_head;
    QByteArray m_body;
    int m_requestCount = 0;
};
