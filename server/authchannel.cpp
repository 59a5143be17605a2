#include "authchannel.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QWebSocket>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcChannel, "orvane.channel")

namespace {

const QString TopicPrefix = QStringLiteral("auth:");

QByteArray encode(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

AuthChannel::AuthChannel(QObject* parent)
    : QObject(parent) {
    m_sweepTimer.setInterval(10 * 1000);
    connect(&m_sweepTimer, &QTimer::timeout, this, &AuthChannel::sweep);
    m_sweepTimer.start();
}

AuthChannel::~AuthChannel() {
    const QList<QWebSocket*> sockets = m_sockets.keys();
    for (QWebSocket* socket : sockets) {
        socket->disconnect(this);
        socket->close(QWebSocketProtocol::CloseCodeGoingAway);
        delete socket;
    }
}

bool AuthChannel::isValidToken(const QString& token) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9]{24}$"));
    return pattern.match(token).hasMatch();
}

void AuthChannel::accept(QWebSocket* socket) {
    if (socket->requestUrl().path() != QLatin1String(SocketPath)) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("unknown path"));
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
    socket->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
    m_sockets.insert(socket, {{}, QDateTime::currentDateTimeUtc()});
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString& text) { handleMessage(socket, text.toUtf8()); });
    connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this, socket](const QByteArray& data) { handleMessage(socket, data); });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { dropSocket(socket); });
}

void AuthChannel::handleMessage(QWebSocket* socket, const QByteArray& data) {
    auto state = m_sockets.find(socket);
    if (state == m_sockets.end())
        return;
    state->lastSeen = QDateTime::currentDateTimeUtc();

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    const QJsonObject message = document.object();
    const QJsonValue topicValue = message.value(QLatin1String("topic"));
    const QJsonValue event = message.value(QLatin1String("event"));
    const QJsonValue ref = message.value(QLatin1String("ref"));
    // Without a topic and an event there is nothing to answer to.
    if (error.error != QJsonParseError::NoError || !document.isObject() || !topicValue.isString() ||
        !event.isString()) {
        qCInfo(lcChannel) << "dropped a malformed frame";
        return;
    }
    const QString topic = topicValue.toString();
    const QString eventName = event.toString();
    const QJsonObject noResponse;

    if (eventName == QLatin1String("phx_join")) {
        if (!topic.startsWith(TopicPrefix) || !isValidToken(topic.mid(TopicPrefix.size()))) {
            reply(socket, topic, ref,
                  QJsonObject{{QStringLiteral("reason"), QStringLiteral("invalid topic")}},
                  QStringLiteral("error"));
            return;
        }
        state->topics.insert(topic);
        m_joined[topic].insert(socket);
        reply(socket, topic, ref, noResponse, QStringLiteral("ok"));
        const auto pending = m_pending.find(topic);
        if (pending != m_pending.end()) {
            if (pending->expires > QDateTime::currentDateTimeUtc())
                socket->sendTextMessage(QString::fromUtf8(pending->message));
            m_pending.erase(pending);
        }
        return;
    }
    if (eventName == QLatin1String("ping") || eventName == QLatin1String("heartbeat")) {
        reply(socket, topic, ref, QStringLiteral("pong"), QStringLiteral("ok"));
        return;
    }
    if (eventName == QLatin1String("phx_leave")) {
        state->topics.remove(topic);
        m_joined[topic].remove(socket);
        if (m_joined[topic].isEmpty())
            m_joined.remove(topic);
        reply(socket, topic, ref, noResponse, QStringLiteral("ok"));
        return;
    }
    reply(socket, topic, ref,
          QJsonObject{{QStringLiteral("reason"), QStringLiteral("unknown event")}},
          QStringLiteral("error"));
}

void AuthChannel::reply(QWebSocket* socket, const QString& topic, const QJsonValue& ref,
                        const QJsonValue& response, const QString& status) {
    const QJsonObject message{
        {QStringLiteral("event"), QStringLiteral("phx_reply")},
        {QStringLiteral("payload"),
         QJsonObject{{QStringLiteral("response"), response}, {QStringLiteral("status"), status}}},
        {QStringLiteral("ref"), ref.isDouble() ? ref : QJsonValue(0)},
        {QStringLiteral("topic"), topic},
    };
    socket->sendTextMessage(QString::fromUtf8(encode(message)));
}

void AuthChannel::deliverSignIn(const QString& token, const QJsonObject& user) {
    const QString topic = TopicPrefix + token;
    const QByteArray message = encode({
        {QStringLiteral("event"), QStringLiteral("logged_in")},
        {QStringLiteral("payload"), user},
        {QStringLiteral("topic"), topic},
    });
    if (m_relay && m_relay(topic, message))
        return;
    deliverLocally(topic, message);
}

void AuthChannel::deliverLocally(const QString& topic, const QByteArray& message) {
    const QSet<QWebSocket*> sockets = m_joined.value(topic);
    if (sockets.isEmpty()) {
        m_pending.insert(topic,
                         {message, QDateTime::currentDateTimeUtc().addMSecs(PendingDeliveryMs)});
        return;
    }
    for (QWebSocket* socket : sockets)
        socket->sendTextMessage(QString::fromUtf8(message));
}

void AuthChannel::dropSocket(QWebSocket* socket) {
    const auto state = m_sockets.find(socket);
    if (state == m_sockets.end())
        return;
    for (const QString& topic : std::as_const(state->topics)) {
        m_joined[topic].remove(socket);
        if (m_joined[topic].isEmpty())
            m_joined.remove(topic);
    }
    m_sockets.erase(state);
    socket->deleteLater();
}

void AuthChannel::sweep() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto it = m_pending.begin(); it != m_pending.end();)
        it = it->expires <= now ? m_pending.erase(it) : std::next(it);
    QList<QWebSocket*> idle;
    for (auto it = m_sockets.cbegin(); it != m_sockets.cend(); ++it) {
        if (it->lastSeen.msecsTo(now) > IdleSocketMs)
            idle.append(it.key());
    }
    for (QWebSocket* socket : std::as_const(idle))
        socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("idle"));
}

} // namespace OrvaneServer
