// The desktop application's own service clients against the real orvane-service.

#include "core/timer.h"
#include "scriptedmodelserver.h"
#include "service/presetsservice.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/textsservice.h"
#include "service/websocketauthservice.h"
#include "serviceprocess.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

namespace {

class SignInDelegate : public WebSocketAuthServiceDelegate {
public:
    void channelReady() override { ++ready; }
    void userReceived(const AuthJoinReplayDto& message) override { users.append(message); }

    int ready = 0;
    QList<AuthJoinReplayDto> users;
};

class TextsDelegate : public TextsServiceDelegate {
public:
    void didReceiveText(const QString& text) override { chunks.append(text); }
    void didFinish() override { ++finished; }
    void didFailPromptTooLong() override { ++tooLong; }
    void didFailGeneric() override {
        ++generic;
        events.append(QStringLiteral("generic"));
    }
    void didReceiveFailureReason(const QString& reason) override {
        events.append(QStringLiteral("reason:") + reason);
    }

    QStringList chunks;
    QStringList events;
    int finished = 0;
    int tooLong = 0;
    int generic = 0;
};

} // namespace

class DesktopClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInPromptsAndStreamedAnswer() {
        ScriptedModelServer model;
        model.setScript({ScriptedModelServer::text(QStringLiteral("<think>hmm</think>Bonjour")),
                         ScriptedModelServer::pause(30),
                         ScriptedModelServer::text(QStringLiteral(", le monde")),
                         ScriptedModelServer::done()});
        ServiceProcess service({QStringLiteral("--llm-url"), model.baseUrl(),
                                QStringLiteral("--llm-model"), QStringLiteral("m"),
                                QStringLiteral("--max-input-chars"), QStringLiteral("500")});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const std::optional<ServiceBase> base =
            ServiceBase::parse(QStringLiteral("http://127.0.0.1:%1").arg(service.port()));
        QVERIFY(base);

        // Sign-in: the application's socket joins, the browser signs up, the socket hears it.
        const QString token = newSignInToken();
        SystemTimerSource timers;
        std::unique_ptr<WebSocketAuthService> socket =
            WebSocketAuthService::create(token, nullptr, *base, timers);
        QVERIFY(socket);
        SignInDelegate signIn;
        socket->connect(&signIn);
        QTRY_COMPARE_WITH_TIMEOUT(signIn.ready, 2, 10000);
        // Someone who saw the link joins the same topic, without the application's verifier.
        QWebSocket rogue;
        QSignalSpy rogueReceived(&rogue, &QWebSocket::textMessageReceived);
        rogue.open(service.socketUrl());
        QTRY_VERIFY_WITH_TIMEOUT(rogue.state() == QAbstractSocket::ConnectedState, 10000);
        rogue.sendTextMessage(QStringLiteral("{\"topic\":\"auth:%1\",\"event\":\"phx_join\","
                                             "\"payload\":{},\"ref\":0}")
                                  .arg(token));
        QVERIFY(rogueReceived.wait(10000)); // its join reply
        // The page names the code the sign-in window shows.
        const QUrl page = SignIn::browserPageUrl(*base, token, true);
        const HttpResult form =
            service.request("GET", page.path() + QLatin1Char('?') + page.query(QUrl::FullyEncoded));
        QVERIFY(form.body.contains(SignIn::shortCode(token).toLatin1()));
        const QByteArray submission = formBody(
            {{QStringLiteral("token"), token},
             {QStringLiteral("challenge"), formField(form.body, QStringLiteral("challenge"))},
             {QStringLiteral("csrf_token"), formField(form.body, QStringLiteral("csrf_token"))},
             {QStringLiteral("email"), QStringLiteral("desk@example.org")},
             {QStringLiteral("password"), QStringLiteral("long enough 1")}});
        const QList<QPair<QByteArray, QByteArray>> formHeaders = {
            {"Content-Type", "application/x-www-form-urlencoded"}};
        QCOMPARE(service.request("POST", page.path(), submission, formHeaders).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(signIn.users.size(), 1, 10000);
        QVERIFY(!rogueReceived.wait(300));
        // Single use: the link is spent.
        QCOMPARE(service.request("POST", page.path(), submission, formHeaders).status, 410);
        QCOMPARE(service.request("GET", page.path() + QLatin1Char('?') + page.query()).status, 410);
        const UserDto user = signIn.users.first().payload;
        QCOMPARE(user.email, QStringLiteral("desk@example.org"));
        QVERIFY(user.deviceKey && !user.deviceKey->isEmpty());
        socket->disconnect();

        // Prompts: the list decodes, and a prompt created by the client comes back whole.
        PresetsService presets(*user.deviceKey, *base);
        QList<PresetDto> listed;
        presets.presets([&](QList<PresetDto> result) { listed = result; });
        QTRY_VERIFY_WITH_TIMEOUT(!listed.isEmpty(), 10000);
        PresetDto mine = listed.first();
        mine.name = QStringLiteral("Into French");
        mine.userMessage = QStringLiteral("Translate into French:");
        PresetDto created = PresetDto::blank();
        presets.create(mine, [&](PresetDto result) { created = result; });
        QTRY_VERIFY_WITH_TIMEOUT(created.id > 0, 10000);
        QCOMPARE(created.global, false);
        QCOMPARE(created.userMessage, mine.userMessage);

        // Generation: the answer streams in, reasoning removed, then one didFinish.
        TextsService texts(*user.deviceKey, *base);
        TextsDelegate delegate;
        texts.sendPreset(created.id, QStringLiteral("Hello, world & more"),
                         {RequestData{std::nullopt, QStringLiteral("Greet"), QStringLiteral("x"),
                                      QStringLiteral("Hello, world")}},
                         &delegate);
        QTRY_COMPARE_WITH_TIMEOUT(delegate.finished, 1, 10000);
        QCOMPARE(delegate.chunks.join(QString()), QStringLiteral("Bonjour, le monde"));
        QVERIFY(delegate.chunks.size() >= 2);
        QCOMPARE(delegate.generic, 0);
        const QJsonArray messages =
            model.requests().last().value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.last().toObject().value(QStringLiteral("content")).toString(),
                 QStringLiteral("Translate into French:\n\nHello, world & more"));
        QCOMPARE(messages.at(1).toObject().value(QStringLiteral("content")).toString(),
                 QStringLiteral("Greet\n\nx"));

        // A classified refusal reaches the delegate before the generic failure.
        model.setFailure(404, "{\"error\":{\"message\":\"no such model\"}}");
        TextsService missing(*user.deviceKey, *base);
        TextsDelegate unknownModel;
        missing.sendCommand(QStringLiteral("Go"), QStringLiteral("x"), {}, &unknownModel);
        QTRY_COMPARE_WITH_TIMEOUT(unknownModel.finished, 1, 10000);
        QCOMPARE(unknownModel.events, (QStringList{QStringLiteral("reason:model-not-found"),
                                                   QStringLiteral("generic")}));

        TextsService tooLong(*user.deviceKey, *base);
        TextsDelegate refused;
        tooLong.sendCommand(QStringLiteral("Go"), QString(600, QLatin1Char('x')), {}, &refused);
        QTRY_COMPARE_WITH_TIMEOUT(refused.tooLong, 1, 10000);
        QTest::qWait(100);
        QCOMPARE(refused.finished + refused.generic, 0);
    }
};

QTEST_GUILESS_MAIN(DesktopClientTest)
#include "tst_desktopclient.moc"
