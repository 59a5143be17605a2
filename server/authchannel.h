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
    /** tokenLifetimeMs: how long a token works after its first join. */
    explicit AuthChannel(qint64 tokenLifetimeMs, QObject* parent = nullptr);
    ~AuthChannel() override;

    /** Takes ownership of an upgraded socket. */
    void accept(QWebSocket* socket);
    /**
     * Sends {"event": "logged_in", ...} for "auth:" + token. With a challenge (the hex
     * SHA-256 of the verifier the application's socket joined with) it goes to the one
     * socket that proves it created the sign-in, and the token is used up; without, to
     * every socket joined to the topic.
     */
    void deliverSignIn(const QString& token, const QJsonObject& user, const QString& challenge);
    /** A token used up by a delivery, or first joined longer ago than its lifetime. */
    [[nodiscard]] bool isSpent(const QString& token) const;

    /** The short code the page and the application both show for a challenge. */
    [[nodiscard]] static QString shortCode(const QString& challenge);
    [[nodiscard]] static bool isValidChallenge(const QString& challenge);
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
        /** Per topic: the hex SHA-256 of the verifier the socket joined with. */
        QHash<QString, QString> proofs;
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
    /** Passes a delivery ({"event", "payload", "challenge"}) on to a joined socket if it may
     * have it; false when it may not. */
    bool deliverTo(QWebSocket* socket, const QString& topic, const QByteArray& message);
    void dropSocket(QWebSocket* socket);
    void sweep();

    QHash<QWebSocket*, SocketState> m_sockets;
    QHash<QString, QSet<QWebSocket*>> m_joined;
    QHash<QString, PendingDelivery> m_pending;
    /** Topics first joined (for expiry) and used up (single use), with when. */
    QHash<QString, QDateTime> m_firstJoined;
    qint64 m_tokenLifetimeMs;
    QHash<QString, QDateTime> m_spent;
    std::function<bool(const QString&, const QByteArray&)> m_relay;
    QTimer m_sweepTimer;
};

} // namespace OrvaneServer
