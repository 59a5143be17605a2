#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

class QWebSocket;

namespace OrvaneServer {

/**
 * The sign-in channels: sockets join "auth:" + token and wait for the signed-in
 * user. A delivery that finds no joined socket is kept for a while, because the
 * browser may finish before the application's socket has joined.
 */
class AuthChannel : public QObject {
    Q_OBJECT
public:
    static constexpr auto SocketPath = "/auth_socket/0/auth";
    /** Where stock Phoenix clients connect: the socket path with "/websocket" added. */
    static constexpr auto PhoenixSocketPath = "/auth_socket/0/auth/websocket";
    static constexpr qsizetype MaxMessageBytes = 16 * 1024;
    static constexpr int MaxTopicsPerSocket = 8;
    /** A reader this far behind is not reading at all: its socket is closed. */
    static constexpr qint64 MaxQueuedBytes = 256 * 1024;
    static constexpr int PendingDeliveryMs = 5 * 60 * 1000;
    /** Sockets that send nothing (the client pings every 29 s) are closed after this. */
    static constexpr int IdleSocketMs = 120 * 1000;

    explicit AuthChannel(QObject* parent = nullptr);
    ~AuthChannel() override;

    /** Takes ownership of an upgraded socket. */
    void accept(QWebSocket* socket);
    /** Sends {"event": "logged_in", ...} to every socket joined to "auth:" + token. */
    void deliverSignIn(const QString& token, const QJsonObject& user);
    /**
     * With several instances the socket may be held by another one: the relay passes
     * each delivery to all of them (this one included), which then call deliverLocally.
     * The relay answers false when it could not pass it on.
     */
    void setRelay(std::function<bool(const QString& topic, const QByteArray& message)> relay) {
        m_relay = std::move(relay);
    }
    /** Hands a delivery to the sockets of this instance, or keeps it for their join. */
    void deliverLocally(const QString& topic, const QByteArray& message);

    [[nodiscard]] static bool isValidToken(const QString& token);
    [[nodiscard]] int socketCount() const { return static_cast<int>(m_sockets.size()); }

private:
    struct SocketState {
        /** Joined topics and the join_ref each was joined with. */
        QHash<QString, QJsonValue> topics;
        QDateTime lastSeen;
        /** Speaks the 2.0.0 serializer: [join_ref, ref, topic, event, payload]. */
        bool arrays = false;
    };
    struct PendingDelivery {
        QByteArray message;
        QDateTime expires;
    };

    void handleMessage(QWebSocket* socket, const QByteArray& data);
    void reply(QWebSocket* socket, const QString& topic, const QJsonValue& ref,
               const QJsonValue& response, const QString& status);
    /** Sends one message in the socket's serializer; a reader too far behind is closed. */
    void send(QWebSocket* socket, const QJsonValue& joinRef, const QJsonValue& ref,
              const QString& topic, const QString& event, const QJsonValue& payload);
    /** Passes a stored delivery ({"event", "payload"}) on to a joined socket. */
    void deliverTo(QWebSocket* socket, const QString& topic, const QByteArray& message);
    void dropSocket(QWebSocket* socket);
    void sweep();

    QHash<QWebSocket*, SocketState> m_sockets;
    QHash<QString, QSet<QWebSocket*>> m_joined;
    QHash<QString, PendingDelivery> m_pending;
    std::function<bool(const QString&, const QByteArray&)> m_relay;
    QTimer m_sweepTimer;
};

} // namespace OrvaneServer
