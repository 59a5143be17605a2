#include "manualtimer.h"
#include "scriptedserver.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "service/websocketengine.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWebSocket>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

/** Collects the messages of the webSocket category while it lives. */
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    LogCapture() {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    [[nodiscard]] QStringList lines(QtMsgType type, const QString& prefix = {}) const {
        QStringList result;
        for (const Line& line : m_lines) {
            if (line.type == type && line.text.startsWith(prefix))
                result.append(line.text);
        }
        return result;
    }
    [[nodiscard]] QString all() const {
        QStringList texts;
        for (const Line& line : m_lines)
            texts.append(line.text);
        return texts.join(u'\n');
    }
    void clear() { m_lines.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (s_current && qstrcmp(context.category, "org.orvane.Orvane.webSocket") == 0)
            s_current->m_lines.append({type, message});
    }

    static inline LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QList<Line> m_lines;
};

class RecordingAuthDelegate final : public WebSocketAuthServiceDelegate {
public:
    void channelReady() override {
        ++ready;
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
    }
    void userReceived(const AuthJoinReplayDto& message) override {
        users.append(message);
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
    }

    int ready = 0;
    QList<AuthJoinReplayDto> users;
    bool offMainThread = false;
};

class RecordingEngineDelegate final : public WebSocketEngineDelegate {
public:
    void didReceive(const WebSocketEngineEvent& event) override { events.append(event); }
    PingDto pingDto() override { return PingDto::forTopic(u"auth:engine"_s); }

    [[nodiscard]] QStringList texts() const {
        QStringList result;
        for (const auto& event : events) {
            if (event.kind == WebSocketEngineEvent::Kind::text)
                result.append(event.text);
        }
        return result;
    }
    [[nodiscard]] int count(WebSocketEngineEvent::Kind kind) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [kind](const auto& e) { return e.kind == kind; }));
    }

    QList<WebSocketEngineEvent> events;
};

const QString token = u"Abc123Def456Ghi789Jkl012"_s;
const QString topic = u"auth:"_s + token;

QByteArray signedIn(const QString& topic, bool withEmail = true) {
    QJsonObject payload{{u"id"_s, 42}, {u"device_key"_s, u"secret-key"_s}};
    if (withEmail)
        payload.insert(u"email"_s, u"ada@example.org"_s);
    return QJsonDocument(QJsonObject{{u"event"_s, u"logged_in"_s},
                                     {u"payload"_s, payload},
                                     {u"topic"_s, topic}})
        .toJson(QJsonDocument::Compact);
}

int countFrames(const QList<ReceivedFrame>& frames, const QString& event) {
    return static_cast<int>(
        std::count_if(frames.begin(), frames.end(), [&](const ReceivedFrame& f) {
            return QJsonDocument::fromJson(f.data).object().value(u"event"_s).toString() == event;
        }));
}

} // namespace

class TestWebSocket : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QLoggingCategory::setFilterRules(u"org.orvane.Orvane.webSocket.debug=true"_s);
    }

    void init() {
        m_server = std::make_unique<ScriptedServer>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_delegate.ready = 0;
        m_delegate.users.clear();
        m_delegate.offMainThread = false;
    }
    void cleanup() {
        m_service.reset();
        m_server.reset();
        m_timers.reset();
    }

    void joinIsTheFirstFrameAsBinaryAndTheChannelIsReadyTwice() {
        LogCapture log;
        connectService();
        QVERIFY(m_server->waitForFrames(1));
        QCOMPARE(m_server->lastSocketPath(), u"/auth_socket/0/auth"_s);

        const ReceivedFrame first = m_server->frames().first();
        QVERIFY(first.binary);
        QCOMPARE(
            QJsonDocument::fromJson(first.data).object(),
            (QJsonObject{{u"topic"_s, topic},
                         {u"event"_s, u"phx_join"_s},
                         {u"payload"_s, QJsonObject{{u"verifier"_s, SignIn::verifierFor(token)}}},
                         {u"ref"_s, 0}}));
        // Once at the open (right after the join), once for the "ok" reply.
        QTRY_COMPARE(m_delegate.ready, 2);
        QTest::qWait(50);
        QCOMPARE(m_delegate.ready, 2);
        QVERIFY(!m_delegate.offMainThread);
        QCOMPARE(log.lines(QtInfoMsg).size(), 1);
        QVERIFY(log.lines(QtInfoMsg).first().startsWith(u"mapping Processing error: "_s));
        QCOMPARE(log.lines(QtDebugMsg, u"Connected to web socket"_s).size(), 1);
    }

    void joinReplyWithStatusErrorIsIgnored() {
        m_server->setJoinReplyStatus(u"error"_s);
        LogCapture log;
        connectService();
        QTRY_COMPARE(log.lines(QtInfoMsg).size(), 1);
        QTest::qWait(50);
        QCOMPARE(m_delegate.ready, 1); // only the one at the open
        QCOMPARE(log.lines(QtInfoMsg).size(), 1);
    }

    void signInResultReachesTheDelegateOnceFromTextOrBinaryFrames() {
        QVERIFY(connectReady());
        LogCapture log;
        m_server->sendText(QString::fromUtf8(signedIn(topic)));
        QTRY_COMPARE(m_delegate.users.size(), 1);
        QTest::qWait(50);
        QCOMPARE(m_delegate.users.size(), 1);
        QCOMPARE(m_delegate.users.first().topic, topic);
        QCOMPARE(m_delegate.users.first().payload,
                 (UserDto{u"ada@example.org"_s, 42, u"secret-key"_s}));
        QVERIFY(log.lines(QtInfoMsg).isEmpty());
        QVERIFY(!m_delegate.offMainThread);
        // The device key never reaches the log, not even at debug level.
        QVERIFY(!log.all().contains(u"secret-key"_s));
        QCOMPARE(log.lines(QtDebugMsg, u"Received text: "_s).size(), 1);

        m_server->sendBinary(signedIn(topic));
        QTRY_COMPARE(m_delegate.users.size(), 2);
    }

    void framesThatAreNoSignInResultReachNobody() {
        QVERIFY(connectReady());
        LogCapture log;
        m_server->sendBinary("\xFF\xFE{\"event\":"); // not UTF-8: dropped unread
        m_server->sendText(QString::fromUtf8(signedIn(topic, false)));
        QTRY_COMPARE(log.lines(QtInfoMsg).size(), 2);
        QTest::qWait(50);
        QVERIFY(!log.all().contains(u"Received data"_s));
        QCOMPARE(log.lines(QtInfoMsg, u"mapping Processing error: "_s).size(), 2);
        QCOMPARE(m_delegate.users.size(), 0);
        QCOMPARE(m_delegate.ready, 2);
    }

    void lateSignInResultAfterDisconnectIsDropped() {
        QVERIFY(connectReady());
        // The result is read, and before its main-thread delivery the flow disconnects.
        m_service->didReceive(WebSocketEngineEvent::received(QString::fromUtf8(signedIn(topic))));
        m_service->disconnect();
        // And whatever the server still sends reaches nobody.
        m_server->sendText(QString::fromUtf8(signedIn(topic)));
        QTest::qWait(200);
        QCOMPARE(m_delegate.users.size(), 0);
        QCOMPARE(m_delegate.ready, 2);
    }

    void disconnectClosesWithGoingAway() {
        QVERIFY(connectReady());
        QWebSocket* serverSide = m_server->lastSocket();
        QSignalSpy closed(serverSide, &QWebSocket::disconnected);
        m_service->disconnect();
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(serverSide->closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
    }

    void pingEvery29SecondsWhilePongsComeBack() {
        LogCapture log;
        QVERIFY(connectReady());
        QCOMPARE(m_timers->activeCount(), 1);

        m_timers->advance(28'999ms);
        QTest::qWait(50);
        QCOMPARE(countFrames(m_server->frames(), u"ping"_s), 0);
        m_timers->advance(1ms);
        QVERIFY(m_server->waitForFrames(2));
        const ReceivedFrame ping = m_server->frames().at(1);
        QVERIFY(ping.binary);
        QCOMPARE(QJsonDocument::fromJson(ping.data).object(),
                 (QJsonObject{{u"topic"_s, topic},
                              {u"event"_s, u"ping"_s},
                              {u"payload"_s, QJsonObject{}},
                              {u"ref"_s, 0}}));
        // The pong comes back, reschedules one ping and is not seen by anyone else.
        QTRY_COMPARE(m_timers->activeCount(), 1);
        QTRY_COMPARE(log.lines(QtDebugMsg, u"Received text: "_s).size(), 2); // reply + pong
        for (int i = 0; i < 3; ++i) {
            QTest::qWait(20);
            m_timers->advance(29s);
            QVERIFY(m_server->waitForFrames(3 + i));
        }
        QCOMPARE(countFrames(m_server->frames(), u"ping"_s), 4);
        QCOMPARE(m_delegate.ready, 2);
        QCOMPARE(m_delegate.users.size(), 0);
        QCOMPARE(log.lines(QtInfoMsg).size(), 1); // only the join reply's
    }

    void pongNeverReachesTheEngineDelegateAndTwoPongsLeaveOnePing() {
        m_server->setAutoPong(false);
        RecordingEngineDelegate delegate;
        WebSocketEngine engine(m_server->base().socketUrl(u"/auth_socket/0/auth"_s), &delegate,
                               Log("webSocket"), *m_timers);
        engine.connect();
        QTRY_COMPARE(delegate.count(WebSocketEngineEvent::Kind::connected), 1);
        QVERIFY(m_server->waitForSocket());

        const QString pong = QString::fromUtf8(ScriptedServer::pongFor(u"auth:engine"_s));
        m_timers->advance(10s);
        m_server->sendText(pong);
        m_server->sendText(pong);
        m_server->sendText(u"{\"not\":\"a pong\"}"_s);
        QTRY_COMPARE(delegate.texts(), QStringList{u"{\"not\":\"a pong\"}"_s});
        QCOMPARE(m_timers->activeCount(), 1);

        // Rescheduled from the pongs (t = 10 s): nothing at t = 29 s, one ping at t = 39 s.
        m_timers->advance(19s);
        QTest::qWait(50);
        QCOMPARE(countFrames(m_server->frames(), u"ping"_s), 0);
        m_timers->advance(10s);
        QTRY_COMPARE(countFrames(m_server->frames(), u"ping"_s), 1);
        // No pong for that ping: the chain ends.
        m_timers->advance(120s);
        QTest::qWait(50);
        QCOMPARE(countFrames(m_server->frames(), u"ping"_s), 1);
        QCOMPARE(m_timers->activeCount(), 0);
    }

    void closeReportsDisconnectedOnceAndStopsThePings() {
        LogCapture log;
        RecordingEngineDelegate delegate;
        WebSocketEngine engine(m_server->base().socketUrl(u"/auth_socket/0/auth"_s), &delegate,
                               Log("webSocket"), *m_timers);
        engine.connect();
        QTRY_VERIFY(engine.isConnected());
        engine.connect();
        QCOMPARE(log.lines(QtDebugMsg, u"Socket already connected"_s).size(), 1);

        m_server->closeSockets();
        QTRY_COMPARE(delegate.count(WebSocketEngineEvent::Kind::disconnected), 1);
        QVERIFY(!engine.isConnected());
        m_timers->advance(29s);
        QCOMPARE(log.lines(QtDebugMsg, u"Skip ping, server not connected"_s).size(), 1);
        QTest::qWait(50);
        QCOMPARE(delegate.count(WebSocketEngineEvent::Kind::disconnected), 1);
        QCOMPARE(countFrames(m_server->frames(), u"ping"_s), 0);
    }

    void everyOutgoingMessageIsABinaryFrame() {
        RecordingEngineDelegate delegate;
        WebSocketEngine engine(m_server->base().socketUrl(u"/auth_socket/0/auth"_s), &delegate,
                               std::nullopt, *m_timers);
        engine.connect();
        QTRY_VERIFY(engine.isConnected());
        const QJsonObject message{{u"topic"_s, u"t"_s}, {u"text"_s, u"\u00e9t\u00e9"_s}};
        engine.send(message);
        QVERIFY(m_server->waitForFrames(1));
        QVERIFY(m_server->frames().first().binary);
        QCOMPARE(m_server->frames().first().data,
                 QJsonDocument(message).toJson(QJsonDocument::Compact));
    }

    void connectionFailureIsAnErrorEvent() {
        const ServiceBase base = m_server->base();
        m_server.reset();
        LogCapture log;
        RecordingEngineDelegate delegate;
        WebSocketEngine engine(base.socketUrl(u"/auth_socket/0/auth"_s), &delegate,
                               Log("webSocket"), *m_timers);
        engine.connect();
        QTRY_VERIFY(delegate.count(WebSocketEngineEvent::Kind::error) >= 1);
        QVERIFY(!log.lines(QtCriticalMsg, u"Error: "_s).isEmpty());
        QCOMPARE(delegate.count(WebSocketEngineEvent::Kind::connected), 0);
    }

    void secondConnectReplacesTheEngine() {
        QVERIFY(connectReady());
        WebSocketEngine* first = m_service->engine();
        m_service->connect(&m_delegate);
        QVERIFY(m_service->engine() != first);
        QTRY_COMPARE(m_delegate.ready, 4);
        QCOMPARE(countFrames(m_server->frames(), u"phx_join"_s), 2);
    }

private:
    void connectService() {
        m_service =
            WebSocketAuthService::create(token, Log("webSocket"), m_server->base(), *m_timers);
        QVERIFY(m_service);
        QCOMPARE(m_service->serverUrl().path(), u"/auth_socket/0/auth"_s);
        m_service->connect(&m_delegate);
    }
    /** Connected, joined and told so twice (at the open and for the "ok" reply). */
    bool connectReady() {
        connectService();
        return m_service && QTest::qWaitFor([&] { return m_delegate.ready == 2; }, 5000);
    }

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<WebSocketAuthService> m_service;
    RecordingAuthDelegate m_delegate;
};

QTEST_GUILESS_MAIN(TestWebSocket)
#include "tst_websocket.moc"
