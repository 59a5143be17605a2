#include "core/logging.h"
#include "manualtimer.h"
#include "scriptedserver.h"
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

// Everything the webSocket category logs, debug included.
QStringList logged;

void collect(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (qstrcmp(context.category, "org.orvane.Orvane.webSocket") == 0)
        logged.append(message);
}

class RecordingAuthDelegate final : public WebSocketAuthServiceDelegate {
public:
    void channelReady() override {
        ++ready;
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    }
    void userReceived(const AuthJoinReplayDto& message) override {
        users.append(message);
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    }

    int ready = 0;
    QList<AuthJoinReplayDto> users;
    bool offMainThread = false;
};

/** Records the engine's events as "connected", "disconnected", "error" or the received text. */
class RecordingEngineDelegate final : public WebSocketEngineDelegate {
public:
    void didReceive(const WebSocketEngineEvent& event) override {
        using Kind = WebSocketEngineEvent::Kind;
        events.append(event.kind == Kind::text           ? event.text
                      : event.kind == Kind::connected    ? u"connected"_s
                      : event.kind == Kind::disconnected ? u"disconnected"_s
                                                         : u"error"_s);
    }
    PingDto pingDto() override { return PingDto::forTopic(u"auth:engine"_s); }

    QStringList events;
};

const QString token = u"Abc123Def456Ghi789Jkl012"_s;
const QByteArray signedIn =
    R"({"event":"logged_in","payload":{"email":"ada@example.org","id":42,"device_key":"secret-key"},"topic":"auth:abc"})";

int countFrames(const QList<ReceivedFrame>& frames, const QString& event) {
    return static_cast<int>(
        std::count_if(frames.begin(), frames.end(), [&](const ReceivedFrame& f) {
            return QJsonDocument::fromJson(f.data).object().value(u"event"_s).toString() == event;
        }));
}

} // namespace

class TestWebSocket : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<WebSocketAuthService> m_service;
    RecordingAuthDelegate m_delegate;

    void connectService() {
        m_service =
            WebSocketAuthService::create(token, &lcWebSocket(), m_server->base(), *m_timers);
        QVERIFY(m_service);
        m_service->connect(&m_delegate);
    }
    /** Connected, joined and told so twice (at the open and for the "ok" reply). */
    bool connectReady() {
        connectService();
        return m_service && QTest::qWaitFor([&] { return m_delegate.ready == 2; }, 5000);
    }
    std::unique_ptr<WebSocketEngine> connectEngine(RecordingEngineDelegate& delegate) {
        auto engine = std::make_unique<WebSocketEngine>(
            m_server->base().socketUrl(WebSocketAuthService::socketPath), &delegate, &lcWebSocket(),
            *m_timers);
        engine->connect();
        return engine;
    }

private Q_SLOTS:
    void initTestCase() {
        QLoggingCategory::setFilterRules(u"org.orvane.Orvane.webSocket.debug=true"_s);
        qInstallMessageHandler(collect);
    }
    void init() {
        m_server = std::make_unique<ScriptedServer>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_delegate = {};
        logged.clear();
    }
    void cleanup() {
        m_service.reset();
        m_server.reset();
        m_timers.reset();
    }

    // Ready once at the open; only an "ok" reply to the join (connectReady) makes it twice.
    void aRefusedJoinLeavesTheChannelUnready() {
        m_server->setJoinReplyStatus(u"error"_s);
        connectService();
        QTRY_COMPARE(m_delegate.ready, 1);
        QTest::qWait(50);
        QCOMPARE(m_delegate.ready, 1);
    }

    // What a frame from the service leads to: a sign-in result, a ready channel, or nothing.
    void receivedFrames_data() {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("users");
        QTest::addColumn<int>("ready");
        const auto row = [](const char* name, const QByteArray& frame, int users, int ready = 0) {
            QTest::newRow(name) << false << frame << users << ready;
        };
        const auto result = [](const QByteArray& from, const QByteArray& to) {
            return QByteArray(signedIn).replace(from, to);
        };
        row("signed-in", signedIn, 1);
        QTest::newRow("signed-in-binary") << true << signedIn << 1 << 0;
        QTest::newRow("not-utf8") << true << QByteArray("\xFF\xFE{\"event\":") << 0 << 0;
        row("no-device-key", result(R"(,"device_key":"secret-key")", ""), 1);
        row("event-outside-vocabulary", result("logged_in", "signed_in"), 0);
        row("device-key-number", result(R"("secret-key")", "3"), 0);
        row("no-email", result(R"("email":"ada@example.org",)", ""), 0);
        const QByteArray reply = R"({"event":"phx_reply","payload":{"response":{},"status":"ok"},)"
                                 R"("ref":0,"topic":"t"})";
        row("reply-ok", reply, 0, 1);
        row("reply-no-ref", QByteArray(reply).replace("\"ref\":0,", ""), 0);
        row("not-json", "pong", 0);
    }
    void receivedFrames() {
        QFETCH(bool, binary);
        QFETCH(QByteArray, frame);
        QFETCH(int, users);
        QFETCH(int, ready);
        QVERIFY(connectReady());
        m_server->send(frame, binary);
        // Frames are handled in order: once the marker's result is there, so is the frame's.
        m_server->send(QByteArray(signedIn).replace("ada@", "marker@"));
        QTRY_VERIFY(!m_delegate.users.isEmpty() &&
                    m_delegate.users.last().payload.email == u"marker@example.org"_s);
        QCOMPARE(m_delegate.users.size(), users + 1);
        QCOMPARE(m_delegate.ready, 2 + ready);
        QVERIFY(!m_delegate.offMainThread);
        // The device key never reaches the log, not even at debug level.
        QVERIFY(logged.join(u'\n').contains(u"marker@example.org"_s));
        QVERIFY(!logged.join(u'\n').contains(u"secret-key"_s));
    }

    void connectAgainJoinsAgainAndNothingArrivesAfterDisconnect() {
        QVERIFY(connectReady());
        m_service->connect(&m_delegate);
        QTRY_COMPARE(m_delegate.ready, 4);
        QCOMPARE(countFrames(m_server->frames(), u"phx_join"_s), 2);

        QWebSocket* serverSide = m_server->lastSocket();
        QSignalSpy closed(serverSide, &QWebSocket::disconnected);
        // The result is read, and before its main-thread delivery the flow disconnects.
        m_service->didReceive(WebSocketEngineEvent::received(QString::fromUtf8(signedIn)));
        m_service->disconnect();
        m_server->send(signedIn);
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(serverSide->closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
        QTest::qWait(100);
        QCOMPARE(m_delegate.users.size(), 0);
        QCOMPARE(m_delegate.ready, 4);
    }

    // Pongs are the engine's own business; anything else goes to its delegate.
    void pongsStayInTheEngine_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("isPong");
        const QByteArray pong = ScriptedServer::pongFor(u"auth:engine"_s);
        QTest::newRow("pong") << pong << true;
        QTest::newRow("ref-missing") << QByteArray(pong).replace(R"("ref":0,)", "") << false;
    }
    void pongsStayInTheEngine() {
        QFETCH(QByteArray, frame);
        QFETCH(bool, isPong);
        m_server->setAutoPong(false);
        RecordingEngineDelegate delegate;
        const auto engine = connectEngine(delegate);
        QTRY_COMPARE(delegate.events.count(u"connected"_s), 1);
        QTRY_VERIFY(m_server->lastSocket());

        m_timers->advance(10s);
        m_server->send(frame);
        m_server->send("marker");
        QStringList expected{u"connected"_s, QString::fromUtf8(frame), u"marker"_s};
        if (isPong)
            expected.removeAt(1);
        QTRY_COMPARE(delegate.events, expected);
        QCOMPARE(m_timers->activeCount(), 1);

        // A pong reschedules the ping (from t = 10 s); without one it goes out at t = 29 s.
        m_timers->advance(19s);
        QTRY_COMPARE(countFrames(m_server->frames(), u"ping"_s), isPong ? 0 : 1);
        m_timers->advance(10s);
        QTRY_COMPARE(countFrames(m_server->frames(), u"ping"_s), 1);
        // The service's format: "ref" an integer, keys in this order.
        QCOMPARE(m_server->frames().last().data,
                 R"({"event":"ping","payload":{},"ref":0,"topic":"auth:engine"})");
    }
};

QTEST_GUILESS_MAIN(TestWebSocket)
#include "tst_websocket.moc"
