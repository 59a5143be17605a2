#include "service/websocketengine.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QWebSocket>

QString redactedForLog(const QString& message) {
    // The sign-in result carries the new device key: it never goes to the log.
    static const QRegularExpression deviceKey(
        QStringLiteral(R"re(("device_key"\s*:\s*)"(?:[^"\\]|\\.)*")re"));
    QString redacted = message;
    redacted.replace(deviceKey, QStringLiteral(R"(\1"<redacted>")"));
    return redacted;
}

WebSocketEngine::WebSocketEngine(const QUrl& url, WebSocketEngineDelegate* delegate,
                                 const QLoggingCategory* log, TimerSource& timers, QObject* parent)
    : QObject(parent)
    , m_url(url)
    , m_delegate(delegate)
    , m_log(log)
    , m_socket(std::make_unique<QWebSocket>())
    , m_pendingPing(timers.createTimer()) {
    debug([&]() -> QString { return u"Connecting to web socket: " + url.toString(); });
    QObject::connect(m_socket.get(), &QWebSocket::connected, this, &WebSocketEngine::onConnected);
    QObject::connect(m_socket.get(), &QWebSocket::disconnected, this,
                     &WebSocketEngine::onDisconnected);
    QObject::connect(m_socket.get(), qOverload<QAbstractSocket::SocketError>(&QWebSocket::error),
                     this, &WebSocketEngine::onError);
    QObject::connect(
        m_socket.get(), &QWebSocket::textMessageReceived, this, [this](const QString& text) {
            debug([&]() -> QString { return u"Received text: " + redactedForLog(text); });
            handleText(text);
        });
    QObject::connect(m_socket.get(), &QWebSocket::binaryMessageReceived, this,
                     &WebSocketEngine::onBinaryMessage);
}

WebSocketEngine::~WebSocketEngine() {
    debug("deInit");
    m_pendingPing->stop();
    QObject::disconnect(m_socket.get(), nullptr, this, nullptr);
    m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
}

void WebSocketEngine::connect() {
    if (m_isConnected) {
        debug("Socket already connected");
        return;
    }
    if (m_started)
        return; // the connection is opening, or closed for good
    m_started = true;
    m_socket->open(m_url);
}

void WebSocketEngine::disconnect() {
    m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
}

void WebSocketEngine::send(const QJsonObject& message) {
    const QByteArray json = encodeMessage(message);
    debug([&]() -> QString { return u"Send: " + redactedForLog(QString::fromUtf8(json)); });
    const qint64 sent = m_socket->sendBinaryMessage(json);
    if (sent != json.size()) {
        const QString error = m_socket->errorString();
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                if (m_delegate)
                    m_delegate->didReceive(WebSocketEngineEvent::failed(
                        error.isEmpty() ? QStringLiteral("the socket is not connected") : error));
            },
            Qt::QueuedConnection);
    }
}

void WebSocketEngine::onConnected() {
    debug("Connected to web socket");
    m_isConnected = true;
    if (m_delegate)
        m_delegate->didReceive(WebSocketEngineEvent::connected());
    schedulePing();
}

void WebSocketEngine::onDisconnected() {
    debug([&]() -> QString { return u"Disconnected from web socket: " + m_socket->closeReason(); });
    m_isConnected = false;
    if (m_delegate)
        m_delegate->didReceive(WebSocketEngineEvent::disconnected());
}

void WebSocketEngine::onError() {
    const QString description = m_socket->errorString();
    if (m_log)
        qCCritical(*m_log, "Error: %s", qUtf8Printable(description));
    if (m_delegate)
        m_delegate->didReceive(WebSocketEngineEvent::failed(description));
}

void WebSocketEngine::onBinaryMessage(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError())
        return; // not UTF-8: dropped
    debug([&]() -> QString { return u"Received data: " + redactedForLog(text); });
    handleText(text);
}

void WebSocketEngine::handleText(const QString& text) {
    if (decodeMessage<PongDto>(text).message) {
        schedulePing();
        return;
    }
    if (m_delegate)
        m_delegate->didReceive(WebSocketEngineEvent::received(text));
}

void WebSocketEngine::schedulePing() {
    // Restarting the one timer cancels the ping scheduled before.
    QPointer<WebSocketEngine> self(this);
    m_pendingPing->start(pingInterval, Timer::Mode::SingleShot, [self] {
        if (self)
            self->sendPing();
    });
}

void WebSocketEngine::sendPing() {
    if (!m_isConnected) {
        debug("Skip ping, server not connected");
        return;
    }
    debug("Send ping");
    if (!m_delegate)
        return;
    send(m_delegate->pingDto().toJson());
}
