#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

namespace OrvaneServer {

/**
 * One HTTP/1.1 request whose answer body is handed on as it arrives. Qt's
 * network access manager keeps at most six connections per host, which would
 * queue concurrent generations behind each other; this client opens one
 * connection per request instead.
 */
class HttpStreamClient : public QObject {
    Q_OBJECT
public:
    explicit HttpStreamClient(QObject* parent = nullptr);
    ~HttpStreamClient() override;

    /** Gives up when nothing arrives for this long (0: never). */
    void setIdleTimeout(int milliseconds);
    void post(const QUrl& url, const QList<QPair<QByteArray, QByteArray>>& headers,
              const QByteArray& body);
    /** Drops the connection; no further signals. */
    void cancel();
    /**
     * Stops reading the answer (the server meets TCP flow control; the idle timeout does
     * not run) or reads on.
     */
    void setPaused(bool paused);

    [[nodiscard]] int status() const { return m_status; }

Q_SIGNALS:
    void responseStarted(int status);
    void bodyData(const QByteArray& data);
    /** The whole body arrived. */
    void finished();
    /** The connection failed, closed early or went idle; started tells whether headers had come. */
    void failed(const QString& reason, bool started);

private:
    enum class State { Connecting, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers, Done };

    void onReadyRead();
    void onIdleTimer();
    void onClosed();
    bool parseHeaders();
    void parseBody();
    void fail(const QString& reason);
    void complete();

    QPointer<QTcpSocket> m_socket;
    QByteArray m_request;
    QByteArray m_buffer;
    QTimer m_idleTimer;
    QElapsedTimer m_lastActivity;
    int m_idleTimeoutMs = 0;
    State m_state = State::Connecting;
    int m_status = 0;
    bool m_chunked = false;
    qint64 m_remaining = -1;
    bool m_ended = false;
    bool m_paused = false;
};

} // namespace OrvaneServer
