#include "core/timer.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "serviceprocess.h"

#include <QJsonArray>
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

    void signInReachesTheJoinedSocketOnceAndKeyWorks() {
        ServiceProcess& service = *m_service;
        const QString token = newSignInToken();
        const QString topic = u"auth:"_s + token;
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        const auto reply = [&](const QJsonValue& response) {
            return QJsonObject{
                {u"event"_s, u"phx_reply"_s},
                {u"payload"_s, QJsonObject{{u"response"_s, response}, {u"status"_s, u"ok"_s}}},
                {u"ref"_s, 0},
                {u"topic"_s, topic}};
        };
        channel.sendBinary(channelFrame(topic));
        QCOMPARE(channel.next(), reply(QJsonObject()));
        channel.sendBinary(channelFrame(topic, u"ping"_s));
        QCOMPARE(channel.next(), reply(u"pong"_s));

        const QString password = u"Tr0ub4dor & 3 = safe?"_s;
        const HttpResult done = service.signUp(token, u"New.User@Example.org"_s, password);
        QCOMPARE(done.status, 200);
        QVERIFY(done.body.contains("Return to Orvane"));

        const QJsonObject loggedIn = channel.next();
        QCOMPARE(loggedIn.keys(), (QStringList{u"event"_s, u"payload"_s, u"topic"_s}));
        QCOMPARE(loggedIn.value(u"event"_s).toString(), u"logged_in"_s);
        QCOMPARE(loggedIn.value(u"topic"_s).toString(), topic);
        const QJsonObject payload = loggedIn.value(u"payload"_s).toObject();
        QCOMPARE(payload.keys(), (QStringList{u"device_key"_s, u"email"_s, u"id"_s}));
        QCOMPARE(payload.value(u"email"_s).toString(), u"new.user@example.org"_s);
        QVERIFY(payload.value(u"id"_s).isDouble());
        const QString key = payload.value(u"device_key"_s).toString();
        QCOMPARE(key.size(), 43);

        const HttpResult user = service.withKey("GET", u"/api/0/user"_s, key);
        QCOMPARE(user.status, 200);
        QCOMPARE(user.json().object(),
                 QJsonObject({{u"data"_s, QJsonObject{{u"email"_s, payload.value(u"email"_s)},
                                                      {u"id"_s, payload.value(u"id"_s)},
                                                      {u"device_key"_s, key}}}}));

        // Signed in before any socket joined: the join still gets it, and only the first one.
        const QString later = newSignInToken();
        QCOMPARE(service.logIn(later, u"new.user@example.org"_s, password).status, 200);
        ChannelClient lateChannel(service.socketUrl());
        lateChannel.sendText(channelFrame(u"auth:"_s + later));
        QCOMPARE(lateChannel.next().value(u"event"_s).toString(), u"phx_reply"_s);
        const QJsonObject again = lateChannel.next();
        QCOMPARE(again.value(u"event"_s).toString(), u"logged_in"_s);
        const QString laterKey = again[u"payload"_s][u"device_key"_s].toString();
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
        QVERIFY(!everything.contains(laterKey));
        QVERIFY(everything.contains(u"$argon2id$"_s));
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

    // The desktop application's own sign-in client against the real service.
    void desktopClientHearsOnlyItsVerifiedSignInOnce() {
        ServiceProcess& service = *m_service;
        const std::optional<ServiceBase> base =
            ServiceBase::parse(u"http://127.0.0.1:%1"_s.arg(service.port()));
        QVERIFY(base);

        // Sign-in: the application's socket joins, the browser signs up, the socket hears it.
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
        rogue.sendText(channelFrame(u"auth:"_s + token));
        QVERIFY(!rogue.next().isEmpty()); // its join reply
        // The page names the code the sign-in window shows.
        const QUrl page = SignIn::browserPageUrl(*base, token, true);
        const HttpResult form =
            service.request("GET", page.path() + QLatin1Char('?') + page.query(QUrl::FullyEncoded));
        QVERIFY(form.body.contains(SignIn::shortCode(token).toLatin1()));
        const QByteArray submission =
            formBody({{u"token"_s, token},
                      {u"challenge"_s, formField(form.body, u"challenge"_s)},
                      {u"csrf_token"_s, formField(form.body, u"csrf_token"_s)},
                      {u"email"_s, u"desk@example.org"_s},
                      {u"password"_s, u"long enough 1"_s}});
        QCOMPARE(service.request("POST", page.path(), submission, FormHeaders).status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(signIn.users.size(), 1, 10000);
        QVERIFY(!rogue.hasMoreWithin(300));
        // Single use: the link is spent.
        QCOMPARE(service.request("POST", page.path(), submission, FormHeaders).status, 410);
        QCOMPARE(service.request("GET", page.path() + QLatin1Char('?') + page.query()).status, 410);
        const UserDto user = signIn.users.first().payload;
        QCOMPARE(user.email, u"desk@example.org"_s);
        QVERIFY(user.deviceKey && !user.deviceKey->isEmpty());
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, *user.deviceKey).status, 200);
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
        channel.sendText("[1, 2]");
        channel.sendText(channelFrame(u"auth:tooshort"_s));
        const QJsonObject refused = channel.next();
        QCOMPARE(refused.value(u"event"_s).toString(), u"phx_reply"_s);
        QCOMPARE(refused.value(u"payload"_s).toObject().value(u"status"_s).toString(), u"error"_s);
        QCOMPARE(refused.value(u"topic"_s).toString(), u"auth:tooshort"_s);
        // Then eight topics join and a ninth is refused.
        QStringList statuses;
        for (int i = 0; i < 9; ++i) {
            channel.sendText(channelFrame(u"auth:"_s + newSignInToken()));
            statuses.append(channel.next()[u"payload"_s][u"status"_s].toString());
        }
        QCOMPARE(statuses, QStringList(8, u"ok"_s) << u"error"_s);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);

        // A client's frames are masked (here with a zero key); the first that is not ends
        // the socket with a 1002 close frame, unanswered.
        const QByteArray join = channelFrame(u"auth:"_s + newSignInToken());
        RawClient raw(service.port());
        raw.send("GET /auth_socket/0/auth HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n"
                 "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 13\r\n\r\n");
        QTRY_VERIFY(raw.received.startsWith("HTTP/1.1 101"));
        raw.send("\x81" + QByteArray(1, char(0x80 | join.size())) + QByteArray(4, 0) + join);
        QTRY_VERIFY(raw.received.contains("phx_reply"));
        raw.send("\x81" + QByteArray(1, char(join.size())) + join);
        QVERIFY(raw.waitForClose());
        QCOMPARE(raw.received.count("phx_reply"), 1);
        QVERIFY(raw.received.endsWith(QByteArray::fromHex("880203ea")));
    }

    void stockPhoenixClientsAreAnswered_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("arrays");
        QTest::newRow("1.0.0 objects, string refs") << u""_s << false;
        QTest::newRow("2.0.0 arrays") << u"?vsn=2.0.0"_s << true;
    }

    void stockPhoenixClientsAreAnswered() {
        QFETCH(QString, query);
        QFETCH(bool, arrays);
        ServiceProcess& service = *m_service;
        QUrl url = service.socketUrl();
        url.setPath(url.path() + u"/websocket"_s);
        ChannelClient channel(QUrl(url.toString() + query));
        QVERIFY(channel.isConnected());
        // What the client sends and what must come back, in its own serializer.
        const auto message = [arrays](const QJsonValue& joinRef, const QJsonValue& ref,
                                      const QString& topic, const QString& event,
                                      const QJsonObject& payload) {
            if (arrays)
                return QJsonDocument(QJsonArray{joinRef, ref, topic, event, payload});
            QJsonObject object{{u"topic"_s, topic}, {u"event"_s, event}, {u"payload"_s, payload}};
            if (!ref.isNull() || event == u"phx_reply"_s)
                object.insert(u"ref"_s, ref);
            if (!joinRef.isNull())
                object.insert(u"join_ref"_s, joinRef);
            return QJsonDocument(object);
        };
        const QJsonObject ok{{u"response"_s, QJsonObject()}, {u"status"_s, u"ok"_s}};
        const QString token = newSignInToken();
        const QString topic = u"auth:"_s + token;
        const QString email = u"phx%1@example.org"_s.arg(arrays);
        channel.sendText(message(u"3"_s, u"3"_s, topic, u"phx_join"_s, {}).toJson());
        QCOMPARE(channel.nextDocument(), message(u"3"_s, u"3"_s, topic, u"phx_reply"_s, ok));
        channel.sendText(message({}, u"4"_s, u"phoenix"_s, u"heartbeat"_s, {}).toJson());
        QCOMPARE(channel.nextDocument(), message({}, u"4"_s, u"phoenix"_s, u"phx_reply"_s, ok));
        // A token with a line break after it is no token.
        channel.sendText(message(u"5"_s, u"5"_s, topic + u"\n"_s, u"phx_join"_s, {}).toJson());
        const QJsonDocument refused = channel.nextDocument();
        QCOMPARE((arrays ? refused.array().at(4) : refused.object().value(u"payload"_s))
                     .toObject()
                     .value(u"status"_s)
                     .toString(),
                 u"error"_s);

        QCOMPARE(service.signUp(token, email, u"correct horse 1"_s).status, 200);
        const QJsonDocument delivered = channel.nextDocument();
        const QJsonObject user =
            (arrays ? delivered.array().at(4) : delivered.object().value(u"payload"_s)).toObject();
        QCOMPARE(delivered, message(u"3"_s, {}, topic, u"logged_in"_s, user));
        QCOMPARE(user.value(u"email"_s).toString(), email);
    }

    void embeddedPagesCarryTheirControls() {
        ServiceProcess& service = *m_service;
        const QString key = service.createUserWithKey(u"pages@example.org"_s);
        const Headers signedIn = {{"Authorization", "Bearer " + key.toLatin1()},
                                  {"Window-Hotkey", "command+option+c"}};
        const QList<std::pair<QString, QByteArrayList>> pages = {
            {u"login"_s, {"sign_in", "sign_up"}}, {u"continue"_s, {"sign_in"}},
            {u"welcome"_s, {"show_settings"}},    {u"finish"_s, {"start", "settings"}},
            {u"account"_s, {"logout"}},           {u"help"_s, {"start"}},
            {u"new_report"_s, {"send_report"}}};
        for (const auto& [page, controls] : pages) {
            const QByteArray html =
                service.request("GET", u"/web_view/"_s + page, {}, signedIn).body;
            for (const QByteArray& control : controls)
                QVERIFY2(html.contains(QByteArray("<button id=\"" + control + '"')),
                         qPrintable(page));
        }
        QVERIFY(service.request("GET", u"/web_view/login"_s, {}, {{"Dark-Theme", "True"}})
                    .body.contains("<html lang=\"en\" class=\"dark\">"));
        QVERIFY(!service.request("GET", u"/web_view/login"_s).body.contains("class=\"dark\""));
        QVERIFY(service.request("GET", u"/web_view/account"_s, {}, signedIn)
                    .body.contains("pages@example.org"));
        QCOMPARE(service.request("GET", u"/web_view/account"_s, {}, {{"Authorization", "Bearer "}})
                     .status,
                 401);
        QVERIFY(service.request("GET", u"/web_view/help"_s, {}, signedIn)
                    .body.contains("<kbd id=\"window_hotkey\">Ctrl+Alt+C</kbd>"));

        const auto report = [&](const QString& token, const QString& body) {
            return service
                .request("POST", u"/web_view/new_report"_s,
                         formBody({{u"report_token"_s, token}, {u"body"_s, body}}), FormHeaders)
                .status;
        };
        const auto reportToken = [&] {
            return formField(service.request("GET", u"/web_view/new_report"_s, {}, signedIn).body,
                             u"report_token"_s);
        };
        QCOMPARE(report(reportToken(), u"The widget froze & stayed"_s), 200);
        QCOMPARE(report(u"1.99999999999.x"_s, u"forged"_s), 403);
        // A form opened before signing out cannot send once the device is signed out.
        const QString late = reportToken();
        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 204);
        QCOMPARE(report(late, u"after logout"_s), 403);
        QCOMPARE(service.select(u"SELECT body FROM reports"_s),
                 QStringList{u"The widget froze & stayed"_s});
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
        QCOMPARE(service.request("GET", u"/users/log_in?token=short"_s).status, 400);
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

        ChannelClient channel(QUrl(u"wss://127.0.0.1:%1/auth_socket/0/auth"_s.arg(service.port())),
                              tls);
        channel.sendBinary(channelFrame(u"auth:"_s + newSignInToken()));
        QCOMPARE(channel.next()[u"payload"_s][u"status"_s].toString(), u"ok"_s);
    }

    void badConfigurationStopsWithAClearError() {
        QProcess process;
        process.start(serviceBinary(), {u"--listen"_s, u"127.0.0.1:99999"_s});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("--listen expects HOST:PORT"));
        process.start(serviceBinary(),
                      {u"--tls-cert"_s, u"/nonexistent.pem"_s, u"--tls-key"_s,
                       u"/nonexistent.key"_s, u"--database"_s, u"sqlite:/proc/orvane/db"_s});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().startsWith("orvane-service: "));
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
