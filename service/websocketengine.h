#pragma once

#include "core/timer.h"
#include "service/channeldto.h"

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QWebSocket;

/** The message with the value of any "device_key" replaced, for debug logging. */
[[nodiscard]] QString redactedForLog(const QString& message);

/** What happens on the connection, as the engine reports it. */
struct WebSocketEngineEvent {
    enum class Kind { text, error, connected, disconnected };

    Kind kind;
    /** The received text (text) or the error's description (error). */
    QString text;

    static WebSocketEngineEvent received(QString text) { return {Kind::text, std::move(text)}; }
    static WebSocketEngineEvent failed(QString error) { return {Kind::error, std::move(error)}; }
    static WebSocketEngineEvent connected() { return {Kind::connected, {}}; }
    static WebSocketEngineEvent disconnected() { return {Kind::disconnected, {}}; }
};

/** The engine's owner: hears its events and supplies the heartbeat. */
class WebSocketEngineDelegate {
public:
    virtual ~WebSocketEngineDelegate() = default;
    virtual void didReceive(const WebSocketEngineEvent& event) = 0;
    /** The heartbeat message: the owner's channel topic, event "ping", {}, ref 0. */
    [[nodiscard]] virtual PingDto pingDto() = 0;
};

class WebSocketEngineProtocol {
public:
    virtual ~WebSocketEngineProtocol() = default;
    /** Opens the connection; a connected engine only logs "Socket already connected". */
    virtual void connect() = 0;
    /** Sends one message as the UTF-8 JSON bytes of a binary frame. */
    virtual void send(const QJsonObject& message) = 0;
    /** Closes with code 1001 ("going away") and no reason. */
    virtual void disconnect() = 0;
};

/**
 * One WebSocket connection to the service. It reports the open, the close, every
 * received text that is not a pong, and failures; it keeps the channel alive with a
 * ping 29 seconds after the open and after every pong (a ping whose pong never comes
 * ends the chain). Everything runs on the thread that owns the engine (the main
 * thread), so the delegate hears events there, in arrival order.
 *
 * A closed engine stays closed: its owner makes a new engine to connect again.
 */
class WebSocketEngine final : public QObject, public WebSocketEngineProtocol {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pingInterval{29'000};

    /** Logs "Connecting to web socket: <url>" at debug level; nothing is sent yet. */
    WebSocketEngine(const QUrl& url, WebSocketEngineDelegate* delegate, const QLoggingCategory* log,
                    TimerSource& timers, QObject* parent = nullptr);
    /** Logs "deInit" and closes the socket with code 1001. */
    ~WebSocketEngine() override;

    void connect() override;
    void send(const QJsonObject& message) override;
    void disconnect() override;

    [[nodiscard]] bool isConnected() const { return m_isConnected; }
    [[nodiscard]] QWebSocket* socket() const { return m_socket.get(); }

private:
    void onConnected();
    void onDisconnected();
    void onError();
    void onBinaryMessage(const QByteArray& data);
    void handleText(const QString& text);
    void schedulePing();
    void sendPing();

    void debug(const char* message) const {
        if (m_log)
            qCDebug(*m_log, "%s", message);
    }
    /** makeMessage runs only when debug output is on. */
    template <typename MakeMessage>
    void debug(MakeMessage makeMessage) const {
        if (m_log)
            qCDebug(*m_log, "%s", qUtf8Printable(makeMessage()));
    }

    QUrl m_url;
    WebSocketEngineDelegate* m_delegate;
    /** Where the engine logs; nothing when null. */
    const QLoggingCategory* m_log;
    std::unique_ptr<QWebSocket> m_socket;
    std::unique_ptr<Timer> m_pendingPing;
    bool m_isConnected = false;
    bool m_started = false;
};
