#pragma once

#include "service/servicebase.h"

#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTest>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

/** One request as it came over the wire. */
struct RecordedRequest {
    QByteArray line; // "POST /api/0/texts?... HTTP/1.1", exactly as sent
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    /** The value of the named header (case-insensitive), or a null array when absent. */
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
};

struct ScriptedResponse {
    int status = 200;
    QByteArray body;
    bool drop = false; // close the connection without answering
    QByteArray type = "application/json";

    static ScriptedResponse json(const QByteArray& body, int status = 200) {
        return {status, body};
    }
    static ScriptedResponse html(const QByteArray& body) { return {200, body, false, "text/html"}; }
    static ScriptedResponse dropConnection() { return {0, {}, true}; }
};

struct ReceivedFrame {
    bool binary = false;
    QByteArray data;
};

/**
 * A scripted stand-in for the service on loopback, HTTP and WebSocket on one port, recording
 * every request and frame. A request without a rule gets 404, or is held for the test to
 * answer piece by piece (the newest held one).
 */
class ScriptedServer : public QObject {
    Q_OBJECT

public:
    explicit ScriptedServer(bool holdUnmatched = false);

    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] ServiceBase base() const { return *ServiceBase::parse(baseUrl()); }

    /** Answers every later request with this method and path (query ignored) so. */
    void respond(const QByteArray& method, const QString& path, const ScriptedResponse& response);
    [[nodiscard]] const QList<RecordedRequest>& requests() const { return m_requests; }
    bool waitForRequests(int count, int timeoutMs = 5000);

    // The last request, and answers to it when it is held.
    [[nodiscard]] QByteArray requestBody() const { return last().body; }
    [[nodiscard]] QByteArray header(const QByteArray& name) const { return last().header(name); }
    /** Status line and headers of a chunked answer; chunks follow with writeChunk. */
    void beginChunked(int status = 200);
    void writeChunk(const QByteArray& data);
    void finish() { write("0\r\n\r\n"); }
    /** A whole answer with Content-Length. */
    void respond(int status, const QByteArray& body);
    /** Bytes as they are, then an orderly close: no reset, only the bytes tell. */
    void writeAndClose(const QByteArray& data);

    // WebSocket side. Joins are answered with a reply of this status ("" for none).
    void setJoinReplyStatus(const QString& status) { m_joinReplyStatus = status; }
    void setAutoPong(bool on) { m_autoPong = on; }
    [[nodiscard]] QWebSocket* lastSocket() const;
    [[nodiscard]] const QList<ReceivedFrame>& frames() const { return m_frames; }
    bool waitForFrames(int count, int timeoutMs = 5000);
    /** Sends to every open socket. */
    void send(const QByteArray& data, bool binary = false);

    /** A pong of the service's channel: a reply whose response is "pong". */
    static QByteArray pongFor(const QString& topic);

private:
    [[nodiscard]] RecordedRequest last() const { return m_requests.value(m_requests.size() - 1); }
    void onReadyRead(QTcpSocket* socket);
    void onFrame(QWebSocket* socket, bool binary, const QByteArray& data);
    void write(const QByteArray& data);

    QTcpServer m_server;
    QWebSocketServer m_sockets{QStringLiteral("scripted"), QWebSocketServer::NonSecureMode};
    bool m_holdUnmatched;
    QHash<QString, ScriptedResponse> m_rules;
    QList<RecordedRequest> m_requests;
    QPointer<QTcpSocket> m_held;
    std::vector<std::unique_ptr<QWebSocket>> m_openSockets;
    QList<ReceivedFrame> m_frames;
    QString m_joinReplyStatus = QStringLiteral("ok");
    bool m_autoPong = true;
};

/** Starts an asynchronous call and waits for what it hands its completion; when nothing comes
 * it throws, which ends the test run as failed. */
template <typename T>
T awaited(const std::function<void(std::function<void(T)>)>& call) {
    std::optional<T> result;
    call([&](T value) { result = std::move(value); });
    static_cast<void>(QTest::qWaitFor([&] { return result.has_value(); }, 10'000));
    return result.value();
}
