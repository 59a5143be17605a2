#include "core/timer.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "serviceprocess.h"

#include <QNetworkReply>
#include <QSslCertificate>
#include <QTest>

using namespace Qt::StringLiterals;

class SignInTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
    }

    // The desktop application's own sign-in client against the real service.
    void signInReachesOnlyTheVerifiedClientOnceAndKeyWorks() {
        ServiceProcess& service = *m_service;
        const std::optional<ServiceBase> base =
            ServiceBase::parse(u"http://127.0.0.1:%1"_s.arg(service.port()));
        QVERIFY(base);
        const QString token = newSignInToken();
        SystemTimerSource timers;
        std::unique_ptr<WebSocketAuthService> socket =
            WebSocketAuthService::create(token, nullptr, *base, timers);
        QVERIFY(socket);
        struct : WebSocketAuthServiceDelegate {
            void channelReady() override { ++ready; }
            void userReceived(const AuthJoinReplayDto& message) override { users << message; }
            int ready = 0;
            QList<AuthJoinReplayDto> users;
        } signIn;
        socket->connect(&signIn);
        QTRY_COMPARE_WITH_TIMEOUT(signIn.ready, 2, 10000);
        // Someone who saw the link joins the same topic, without the application's verifier.
        ChannelClient rogue(service.socketUrl());
        rogue.sendBinary(channelFrame(u"auth:"_s + token));
        QCOMPARE(rogue.next()[u"payload"_s][u"status"_s].toString(), u"ok"_s);
        rogue.sendBinary(channelFrame(u"auth:"_s + token, u"ping"_s));
        QCOMPARE(rogue.next()[u"payload"_s][u"response"_s].toString(), u"pong"_s);

        // The page names the code the sign-in window shows.
        const QUrl page = SignIn::browserPageUrl(*base, token, true);
        const HttpResult form =
            service.request("GET", page.path() + QLatin1Char('?') + page.query(QUrl::FullyEncoded));
        QVERIFY(form.body.contains(SignIn::shortCode(token).toLatin1()));
        const QString password = u"Tr0ub4dor & 3 = safe?"_s;
        const QByteArray submission =
            formBody({{u"token"_s, token},
                      {u"challenge"_s, formField(form.body, u"challenge"_s)},
                      {u"csrf_token"_s, formField(form.body, u"csrf_token"_s)},
                      {u"email"_s, u"New.User@Example.org"_s},
                      {u"password"_s, password}});
        const HttpResult done = service.request("POST", page.path(), submission, FormHeaders);
        QCOMPARE(done.status, 200);
        QVERIFY(done.body.contains("Return to Orvane"));
        QTRY_COMPARE_WITH_TIMEOUT(signIn.users.size(), 1, 10000);
        QVERIFY(!rogue.hasMoreWithin(300));
        // Single use: the link is spent.
        QCOMPARE(service.request("POST", page.path(), submission, FormHeaders).status, 410);
        QCOMPARE(service.request("GET", page.path() + QLatin1Char('?') + page.query()).status, 410);
        const UserDto user = signIn.users.first().payload;
        QCOMPARE(user.email, u"new.user@example.org"_s);
        const QString key = user.deviceKey.value_or(QString());
        QCOMPARE(key.size(), 43);
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, key).json().object(),
                 QJsonObject({{u"data"_s, QJsonObject{{u"email"_s, user.email},
                                                      {u"id"_s, user.userId},
                                                      {u"device_key"_s, key}}}}));

        // Signed in before any socket joined: the join still gets it, and only the first one.
        const QString later = newSignInToken();
        QCOMPARE(service.logIn(later, u"new.user@example.org"_s, password).status, 200);
        ChannelClient lateChannel(service.socketUrl());
        lateChannel.sendText(channelFrame(u"auth:"_s + later));
        // Only these fields: nothing else about the account goes to whoever holds the link.
        const QJsonObject payload = lateChannel.payloadOf(u"logged_in"_s);
        QCOMPARE(payload.keys(), (QStringList{u"device_key"_s, u"email"_s, u"id"_s}));
        const QString laterKey = payload.value(u"device_key"_s).toString();
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, laterKey).status, 200);
        ChannelClient second(service.socketUrl());
        second.sendText(channelFrame(u"auth:"_s + later));
        QCOMPARE(second.next().value(u"event"_s).toString(), u"phx_reply"_s);
        QVERIFY(!second.hasMoreWithin(300));

        // Neither the password nor a key may be found in the database or the log.
        QString everything;
        for (const QString& table :
             service.select(u"SELECT name FROM sqlite_master WHERE type='table'"_s))
            everything += service.select(u"SELECT * FROM "_s + table).join(u'\n');
        QVERIFY(everything.contains(u"new.user@example.org"_s));
        QVERIFY(!everything.contains(password) && !everything.contains(key));
        QVERIFY(!everything.contains(laterKey) && everything.contains(u"$argon2id$"_s));
        const QByteArray log = service.log();
        QVERIFY(log.contains("path=/users/register status=200"));
        for (const QString& secret : {password, key, laterKey, token, later})
            QVERIFY(!log.contains(secret.toUtf8()));
        QVERIFY(!log.contains(QUrl::toPercentEncoding(password)));

        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 204);
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, key).status, 401);
        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 401);
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, laterKey).status, 200);
    }

    void anExpiredSignInLinkSignsNobodyIn() {
        ServiceProcess service({u"--signin-lifetime"_s, u"1"_s});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QVERIFY(!service.createUserWithKey(u"late@example.org"_s).isEmpty());
        const QString token = newSignInToken();
        ChannelClient channel(service.socketUrl());
        channel.sendText(channelFrame(u"auth:"_s + token));
        QCOMPARE(channel.next().value(u"event"_s).toString(), u"phx_reply"_s);
        QCOMPARE(service.request("GET", u"/users/log_in?token="_s + token).status, 200);
        // The lifetime runs from the first join; then the page says so and the form fails.
        QTRY_COMPARE_WITH_TIMEOUT(service.request("GET", u"/users/log_in?token="_s + token).status,
                                  410, 15000);
        QCOMPARE(service.logIn(token, u"late@example.org"_s, u"correct horse 1"_s).status, 410);
        QVERIFY(!channel.hasMoreWithin(300));
    }

    void guessesFromElsewhereDoNotLockTheOwnerOut_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("ownerStatus");
        QTest::newRow("behind a trusted proxy")
            << QStringList{u"--trusted-proxy"_s, u"127.0.0.1"_s} << 200;
        // Without the option the header is anyone's to write: it changes nothing.
        QTest::newRow("forwarding header not trusted") << QStringList{} << 429;
    }

    void guessesFromElsewhereDoNotLockTheOwnerOut() {
        QFETCH(QStringList, arguments);
        QFETCH(int, ownerStatus);
        ServiceProcess service(arguments);
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        service.createUserWithKey(u"owner@example.org"_s, u"correct horse 1"_s);
        const auto from = [](const QByteArray& address) {
            return Headers{{"X-Forwarded-For", address}};
        };
        QList<int> attacker;
        HttpResult last;
        for (int attempt = 0; attempt < 6; ++attempt) {
            last = service.logIn(newSignInToken(), u"owner@example.org"_s, u"guess"_s,
                                 from("203.0.113.5"));
            attacker.append(last.status);
        }
        QCOMPARE(attacker, (QList<int>{401, 401, 401, 401, 401, 429}));
        QVERIFY(last.header("Retry-After").toInt() > 0);
        QCOMPARE(service
                     .logIn(newSignInToken(), u"owner@example.org"_s, u"correct horse 1"_s,
                            from("198.51.100.7"))
                     .status,
                 ownerStatus);
    }

    void misbehavingSocketsAreAnsweredDroppedOrClosed() {
        ServiceProcess& service = *m_service;
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        channel.sendText("not json at all");
        channel.sendBinary("\xff\xfe{");
        // A token with a line break after it is no token.
        const QString broken = u"auth:"_s + newSignInToken() + u'\n';
        channel.sendText(channelFrame(broken));
        const QJsonObject refused = channel.next();
        QCOMPARE(refused.value(u"event"_s).toString(), u"phx_reply"_s);
        QCOMPARE(refused.value(u"payload"_s).toObject().value(u"status"_s).toString(), u"error"_s);
        QCOMPARE(refused.value(u"topic"_s).toString(), broken);
        // Then eight topics join and a ninth is refused.
        QStringList statuses;
        for (int i = 0; i < 9; ++i) {
            channel.sendText(channelFrame(u"auth:"_s + newSignInToken()));
            statuses.append(channel.next()[u"payload"_s][u"status"_s].toString());
        }
        QCOMPARE(statuses, QStringList(8, u"ok"_s) << u"error"_s);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);
    }

    void rejectedFormsChangeNothing() {
        ServiceProcess& service = *m_service;
        QVERIFY(!service.createUserWithKey(u"victim@example.org"_s, u"right password"_s).isEmpty());
        const QString token = newSignInToken();
        ChannelClient channel(service.socketUrl());
        channel.sendText(channelFrame(u"auth:"_s + token));
        QCOMPARE(channel.next().value(u"event"_s).toString(), u"phx_reply"_s);

        // A forged form (no cookie-bound CSRF token) is refused and creates no account.
        const HttpResult forged = service.request("POST", u"/users/register"_s,
                                                  formBody({{u"token"_s, token},
                                                            {u"csrf_token"_s, u"forged"_s},
                                                            {u"email"_s, u"forged@example.org"_s},
                                                            {u"password"_s, u"whatever123"_s}}),
                                                  FormHeaders);
        QCOMPARE(forged.status, 403);
        QVERIFY(forged.body.contains("expired"));
        QVERIFY(!service.admin({u"user"_s, u"list"_s}).contains("forged@"));
        QCOMPARE(service.signUp(token, u"victim@example.org"_s, u"another one 1"_s).status, 409);

        const HttpResult wrong = service.logIn(token, u"victim@example.org"_s, u"wrong password"_s);
        QCOMPARE(wrong.status, 401);
        QVERIFY(wrong.body.contains("not correct"));
        QVERIFY(!channel.hasMoreWithin(300));
    }

    void servesHttpsAndSecureSocketsWithACertificate() {
        QTemporaryDir dir;
        const QString certificate = dir.filePath(u"cert.pem"_s);
        const QString key = dir.filePath(u"key.pem"_s);
        QProcess openssl;
        openssl.start(u"openssl"_s,
                      {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-subj"_s,
                       u"/CN=127.0.0.1"_s, u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s,
                       u"-days"_s, u"1"_s, u"-keyout"_s, key, u"-out"_s, certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            QSKIP("openssl cannot make a test certificate here");
        ServiceProcess service({u"--tls-cert"_s, certificate, u"--tls-key"_s, key});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));

        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(certificate));
        QNetworkRequest request(QUrl(u"https://127.0.0.1:%1/healthz"_s.arg(service.port())));
        request.setSslConfiguration(tls);
        QNetworkReply* reply = service.network().get(request);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("ok\n"));
        QVERIFY(reply->rawHeader("Strict-Transport-Security").startsWith("max-age="));
        reply->deleteLater();
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 0);
        // The sign-in socket too, on the same port.
        ChannelClient channel(QUrl(u"wss://127.0.0.1:%1/auth_socket/0/auth"_s.arg(service.port())),
                              tls);
        channel.sendBinary(channelFrame(u"auth:"_s + newSignInToken()));
        QCOMPARE(channel.next()[u"payload"_s][u"status"_s].toString(), u"ok"_s);
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
