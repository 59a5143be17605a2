#pragma once

#include "core/timer.h"
#include "service/channeldto.h"
#include "service/servicebase.h"
#include "service/websocketengine.h"

#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

/** Hears the sign-in channel; implemented by the sign-in flow. */
class WebSocketAuthServiceDelegate {
public:
    virtual ~WebSocketAuthServiceDelegate() = default;
    /** The channel can be used: once when the socket opens, again when the join is acknowledged. */
    virtual void channelReady() = 0;
    /** The service announced the signed-in user on the channel. */
    virtual void userReceived(const AuthJoinReplayDto& message) = 0;
};

class WebSocketAuthServiceProtocol {
public:
    virtual ~WebSocketAuthServiceProtocol() = default;
    /** Opens a new connection (replacing any earlier engine) and joins "auth:" + token. */
    virtual void connect(WebSocketAuthServiceDelegate* delegate) = 0;
    /** Forgets the delegate first, then closes the connection with code 1001. */
    virtual void disconnect() = 0;
};

/**
 * The application's side of the sign-in channel "auth:" + token on the service's socket
 * "/auth_socket/0/auth". Every delegate call runs on the main thread; after
 * disconnect() none reaches the former delegate.
 */
class WebSocketAuthService final : public QObject,
                                   public WebSocketAuthServiceProtocol,
                                   public WebSocketEngineDelegate {
    Q_OBJECT

public:
    static inline const QString socketPath = QStringLiteral("/auth_socket/0/auth");

    /** nullptr with the log line "url not constructed" when the base composes no socket URL. */
    static std::unique_ptr<WebSocketAuthService> create(QString token, const QLoggingCategory* log,
                                                        const ServiceBase& base,
                                                        TimerSource& timers);

    void connect(WebSocketAuthServiceDelegate* delegate) override;
    void disconnect() override;

    /** As the engine's delegate: joins on open, reads the channel's texts. */
    void didReceive(const WebSocketEngineEvent& event) override;
    PingDto pingDto() override;

    [[nodiscard]] const QUrl& serverUrl() const { return m_serverUrl; }
    [[nodiscard]] const QString& token() const { return m_token; }
    /** "auth:" followed by the token. */
    [[nodiscard]] QString topic() const;
    [[nodiscard]] WebSocketEngine* engine() const { return m_engine.get(); }

Q_SIGNALS:
    /**
     * The connection closed or failed. Not part of the delegate contract (the sign-in
     * flow notices nothing); a command-line client uses it to stop waiting.
     */
    void connectionLost(const QString& reason);

private:
    WebSocketAuthService(QUrl serverUrl, QString token, const QLoggingCategory* log,
                         TimerSource& timers);

    void handleText(const QString& text);

    QUrl m_serverUrl;
    QString m_token;
    const QLoggingCategory* m_log;
    TimerSource& m_timers;
    WebSocketAuthServiceDelegate* m_delegate = nullptr;
    std::unique_ptr<WebSocketEngine> m_engine;
    /** Engines replaced by a later connect stay open until the service goes. */
    std::vector<std::unique_ptr<WebSocketEngine>> m_formerEngines;
};
