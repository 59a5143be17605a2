#include "service/websocketauthservice.h"

#include "core/logging.h"
#include "service/signintoken.h"

#include <QWebSocket>

std::unique_ptr<WebSocketAuthService> WebSocketAuthService::create(QString token,
                                                                   const QLoggingCategory* log,
                                                                   const ServiceBase& base,
                                                                   TimerSource& timers) {
    const QUrl url = base.socketUrl(socketPath);
    if (!url.isValid()) {
        qCCritical(lcWebSocket, "url not constructed");
        return nullptr;
    }
    return std::unique_ptr<WebSocketAuthService>(
        new WebSocketAuthService(url, std::move(token), log, timers));
}

WebSocketAuthService::WebSocketAuthService(QUrl serverUrl, QString token,
                                           const QLoggingCategory* log, TimerSource& timers)
    : m_serverUrl(std::move(serverUrl))
    , m_token(std::move(token))
    , m_log(log)
    , m_timers(timers) {}

QString WebSocketAuthService::topic() const {
    return u"auth:" + m_token;
}

void WebSocketAuthService::connect(WebSocketAuthServiceDelegate* delegate) {
    m_delegate = delegate;
    if (m_engine)
        m_formerEngines.push_back(std::move(m_engine));
    m_engine = std::make_unique<WebSocketEngine>(m_serverUrl, this, m_log, m_timers);
    m_engine->connect();
}

void WebSocketAuthService::disconnect() {
    m_delegate = nullptr;
    if (m_engine)
        m_engine->disconnect();
}

PingDto WebSocketAuthService::pingDto() {
    return PingDto::forTopic(topic());
}

void WebSocketAuthService::didReceive(const WebSocketEngineEvent& event) {
    switch (event.kind) {
    case WebSocketEngineEvent::Kind::connected:
        if (m_engine) {
            // The verifier proves to the service that this socket started the sign-in.
            QJsonObject join = AuthJoinDto::forTopic(topic()).toJson();
            join.insert(QStringLiteral("payload"),
                        QJsonObject{{QStringLiteral("verifier"), SignIn::verifierFor(m_token)}});
            m_engine->send(join);
        }
        if (m_delegate)
            m_delegate->channelReady();
        break;
    case WebSocketEngineEvent::Kind::text:
        handleText(event.text);
        break;
    case WebSocketEngineEvent::Kind::error:
    case WebSocketEngineEvent::Kind::disconnected:
        Q_EMIT connectionLost(event.kind == WebSocketEngineEvent::Kind::error
                                  ? event.text
                                  : QStringLiteral("the connection closed"));
        break;
    }
}

void WebSocketAuthService::handleText(const QString& text) {
    const auto result = decodeMessage<AuthJoinReplayDto>(text);
    if (result.message) {
        const AuthJoinReplayDto message = *result.message;
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                if (m_delegate)
                    m_delegate->userReceived(message);
            },
            Qt::QueuedConnection);
        return;
    }
    if (m_log)
        qCInfo(*m_log, "mapping Processing error: %s", qUtf8Printable(result.error));

    const auto reply = decodeMessage<AuthJoinConnectDto>(text);
    if (!reply.message) {
        if (m_log)
            qCInfo(*m_log, "mapping Processing error: %s", qUtf8Printable(reply.error));
        return;
    }
    if (reply.message->payload.status != StatusEnum::ok)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_delegate)
                m_delegate->channelReady();
        },
        Qt::QueuedConnection);
}
