#include "authchannel.h"

#include "core/signincode.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QWebSocket>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcChannel, "orvane.channel")

namespace {

const QString TopicPrefix = QStringLiteral("auth:");

QByteArray encode(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

AuthChannel::AuthChannel(qint64 tokenLifetimeMs, QObject* parent)
    : QObject(parent)
    , m_tokenLifetimeMs(tokenLifetimeMs) {
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
    // Anchored for real: "$" alone would let a trailing line break through.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9]{24}")));
    return pattern.match(token).hasMatch();
}

void AuthChannel::accept(QWebSocket* socket) {
    const QString path = socket->requestUrl().path();
    if (path != QLatin1String(SocketPath) && path != QLatin1String(PhoenixSocketPath)) {
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("unknown path"));
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
    socket->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
    const bool arrays =
        QUrlQuery(socket->requestUrl()).queryItemValue(QStringLiteral("vsn")).startsWith(u'2');
    m_sockets.insert(socket, {{}, QDateTime::currentDateTimeUtc(), arrays, {}});
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

    // Phoenix's 1.0.0 serializer sends objects, its 2.0.0 one arrays.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    QJsonValue joinRef;
    QJsonValue ref;
    QJsonValue topicValue;
    QJsonValue event;
    if (document.isArray() && document.array().size() == 5) {
        const QJsonArray array = document.array();
        joinRef = array.at(0);
        ref = array.at(1);
        topicValue = array.at(2);
        event = array.at(3);
        state->arrays = true;
    } else if (document.isObject()) {
        const QJsonObject message = document.object();
        joinRef = message.value(QLatin1String("join_ref"));
        ref = message.value(QLatin1String("ref"));
        topicValue = message.value(QLatin1String("topic"));
        event = message.value(QLatin1String("event"));
        state->arrays = false;
    }
    // Without a topic and an event there is nothing to answer to.
    if (error.error != QJsonParseError::NoError || !topicValue.isString() || !event.isString()) {
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
        if (!state->topics.contains(topic) && state->topics.size() >= MaxTopicsPerSocket) {
            reply(socket, topic, ref,
                  QJsonObject{{QStringLiteral("reason"), QStringLiteral("too many topics")}},
                  QStringLiteral("error"));
            return;
        }
        if (m_spent.contains(topic)) {
            reply(socket, topic, ref,
                  QJsonObject{{QStringLiteral("reason"), QStringLiteral("token used")}},
                  QStringLiteral("error"));
            return;
        }
        state->topics.insert(topic, joinRef.isUndefined() ? QJsonValue() : joinRef);
        const QString verifier =
            (document.isArray() ? document.array().at(4).toObject()
                                : document.object().value(QLatin1String("payload")).toObject())
                .value(QLatin1String("verifier"))
                .toString();
        if (!verifier.isEmpty())
            state->proofs.insert(
                topic, QString::fromLatin1(
                           QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)
                               .toHex()));
        m_joined[topic].insert(socket);
        if (!m_firstJoined.contains(topic))
            m_firstJoined.insert(topic, QDateTime::currentDateTimeUtc());
        reply(socket, topic, ref, noResponse, QStringLiteral("ok"));
        const auto pending = m_pending.find(topic);
        if (pending != m_pending.end() && pending->expires > QDateTime::currentDateTimeUtc() &&
            deliverTo(socket, topic, pending->message))
            m_pending.erase(pending);
        return;
    }
    if (eventName == QLatin1String("ping") || eventName == QLatin1String("heartbeat")) {
        reply(socket, topic, ref,
              topic == QLatin1String("phoenix") ? QJsonValue(noResponse) : QStringLiteral("pong"),
              QStringLiteral("ok"));
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
    const auto state = m_sockets.constFind(socket);
    const QJsonValue joinRef =
        state == m_sockets.cend() ? QJsonValue() : state->topics.value(topic);
    // The ref comes back as it was sent, string or number.
    send(socket, joinRef, ref.isUndefined() ? QJsonValue() : ref, topic,
         QStringLiteral("phx_reply"),
         QJsonObject{{QStringLiteral("response"), response}, {QStringLiteral("status"), status}});
}

void AuthChannel::send(QWebSocket* socket, const QJsonValue& joinRef, const QJsonValue& ref,
                       const QString& topic, const QString& event, const QJsonValue& payload) {
    const auto state = m_sockets.constFind(socket);
    if (state == m_sockets.cend())
        return;
    if (socket->bytesToWrite() > MaxQueuedBytes) {
        qCInfo(lcChannel) << "closing a socket that does not read";
        socket->abort();
        return;
    }
    QByteArray bytes;
    if (state->arrays) {
        bytes = QJsonDocument(QJsonArray{joinRef, ref, topic, event, payload})
                    .toJson(QJsonDocument::Compact);
    } else {
        QJsonObject message{{QStringLiteral("event"), event},
                            {QStringLiteral("payload"), payload},
                            {QStringLiteral("topic"), topic}};
        // Pushes of the 1.0.0 serializer carry no ref.
        if (!ref.isNull() || event == QLatin1String("phx_reply"))
            message.insert(QStringLiteral("ref"), ref);
        if (!joinRef.isNull())
            message.insert(QStringLiteral("join_ref"), joinRef);
        bytes = encode(message);
    }
    socket->sendTextMessage(QString::fromUtf8(bytes));
}

bool AuthChannel::deliverTo(QWebSocket* socket, const QString& topic, const QByteArray& message) {
    const QJsonObject delivery = QJsonDocument::fromJson(message).object();
    const auto state = m_sockets.constFind(socket);
    if (state == m_sockets.cend())
        return false;
    // A sign-in bound to a verifier reaches only the socket that joined with it, once.
    const QString challenge = delivery.value(QLatin1String("challenge")).toString();
    if (!challenge.isEmpty()) {
        if (m_spent.contains(topic) || state->proofs.value(topic) != challenge)
            return false;
        m_spent.insert(topic, QDateTime::currentDateTimeUtc());
    }
    send(socket, state->topics.value(topic), QJsonValue(), topic,
         delivery.value(QLatin1String("event")).toString(),
         delivery.value(QLatin1String("payload")));
    return true;
}

bool AuthChannel::isSpent(const QString& token) const {
    const QString topic = TopicPrefix + token;
    const auto joined = m_firstJoined.constFind(topic);
    return m_spent.contains(topic) ||
           (joined != m_firstJoined.cend() &&
            joined->msecsTo(QDateTime::currentDateTimeUtc()) > m_tokenLifetimeMs);
}

bool AuthChannel::isValidChallenge(const QString& challenge) {
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{64}")));
    return pattern.match(challenge).hasMatch();
}

QString AuthChannel::shortCode(const QString& challenge) {
    return signInCodeFor(challenge);
}

void AuthChannel::deliverSignIn(const QString& token, const QJsonObject& user,
                                const QString& challenge) {
    const QString topic = TopicPrefix + token;
    QJsonObject delivery{
        {QStringLiteral("event"), QStringLiteral("logged_in")},
        {QStringLiteral("payload"), user},
        {QStringLiteral("topic"), topic},
    };
    if (!challenge.isEmpty())
        delivery.insert(QStringLiteral("challenge"), challenge);
    const QByteArray message = encode(delivery);
    if (m_relay && m_relay(topic, message))
        return;
    deliverLocally(topic, message);
}

void AuthChannel::deliverLocally(const QString& topic, const QByteArray& message) {
    bool delivered = false;
    for (QWebSocket* socket : m_joined.value(topic))
        delivered = deliverTo(socket, topic, message) || delivered;
    // Kept for a socket that has yet to join (the browser may be quicker).
    if (!delivered)
        m_pending.insert(topic,
                         {message, QDateTime::currentDateTimeUtc().addMSecs(PendingDeliveryMs)});
}

void AuthChannel::dropSocket(QWebSocket* socket) {
    const auto state = m_sockets.find(socket);
    if (state == m_sockets.end())
        return;
    for (const QString& topic : state->topics.keys()) {
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
    for (QHash<QString, QDateTime>* times : {&m_firstJoined, &m_spent}) {
        for (auto it = times->begin(); it != times->end();)
            it = it->msecsTo(now) > 2 * m_tokenLifetimeMs ? times->erase(it) : std::next(it);
    }
    QList<QWebSocket*> idle;
    for (auto it = m_sockets.cbegin(); it != m_sockets.cend(); ++it) {
        if (it->lastSeen.msecsTo(now) > IdleSocketMs)
            idle.append(it.key());
    }
    for (QWebSocket* socket : std::as_const(idle))
        socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("idle"));
}

} // namespace OrvaneServer
