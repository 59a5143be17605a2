// The desktop application's sign-in client against the real orvane-service (its answers and
// prompts go through the service in the desktop end-to-end tests).

#include "core/timer.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "serviceprocess.h"

#include <QTest>

namespace {

class SignInDelegate : public WebSocketAuthServiceDelegate {
public:
    void channelReady() override { ++ready; }
    void userReceived(const AuthJoinReplayDto& message) override { users.append(message); }

    int ready = 0;
    QList<AuthJoinReplayDto> users;
};

} // namespace

class DesktopClientTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInReachesOnlyTheVerifiedSocketOnce() {
        ServiceProcess service;
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
        ChannelClient rogue(service.socketUrl());
        rogue.sendText(channelFrame(QStringLiteral("auth:") + token));
        QVERIFY(!rogue.next().isEmpty()); // its join reply
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
        QCOMPARE(service.request("POST", page.path(), submission, FormHeaders).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(signIn.users.size(), 1, 10000);
        QVERIFY(!rogue.hasMoreWithin(300));
        // Single use: the link is spent.
        QCOMPARE(service.request("POST", page.path(), submission, FormHeaders).status, 410);
        QCOMPARE(service.request("GET", page.path() + QLatin1Char('?') + page.query()).status, 410);
        const UserDto user = signIn.users.first().payload;
        QCOMPARE(user.email, QStringLiteral("desk@example.org"));
        QVERIFY(user.deviceKey && !user.deviceKey->isEmpty());
        QCOMPARE(service.withKey("GET", QStringLiteral("/api/0/user"), *user.deviceKey).status,
                 200);
    }
};

QTEST_GUILESS_MAIN(DesktopClientTest)
#include "tst_desktopclient.moc"
