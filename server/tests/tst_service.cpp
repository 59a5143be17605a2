#include "core/timer.h"
#include "scriptedmodelserver.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "serviceprocess.h"

#include <QJsonArray>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpSocket>
#include <QTest>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

/** Sends bytes on a connection of its own; the status of every answer until the service closes. */
QList<int> statusesFor(quint16 port, const QByteArray& request) {
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.waitForConnected(5000);
    client.write(request);
    QList<int> statuses;
    if (!QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; },
                         10000))
        return statuses;
    static const QRegularExpression status(u"(?:^|\\n)HTTP/1\\.1 (\\d{3}) "_s);
    for (const auto& match : status.globalMatch(QString::fromLatin1(client.readAll())))
        statuses.append(match.captured(1).toInt());
    return statuses;
}

const QByteArray Close = "Host: x\r\nConnection: close\r\n\r\n";

QJsonObject record(const QString& name) {
    return {{u"hotkey"_s, u"command+shift+1"_s},
            {u"id"_s, -1},
            {u"name"_s, name},
            {u"global"_s, true},
            {u"temperature"_s, 0.25},
            {u"system_message"_s, u"You are terse."_s},
            {u"user_message"_s, u"Shorten this:"_s},
            {u"enabled_by_default"_s, false}};
}

QByteArray body(const QJsonObject& preset) {
    return QJsonDocument(QJsonObject{{u"preset"_s, preset}}).toJson();
}

const QStringList RecordKeys = {
    u"enabled_by_default"_s, u"global"_s,      u"hotkey"_s,      u"id"_s, u"name"_s,
    u"system_message"_s,     u"temperature"_s, u"user_message"_s};

using Model = ScriptedModelServer;

QString unusedUrl() {
    return u"http://127.0.0.1:%1/v1"_s.arg(unusedPort());
}

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_key = m_service->createUserWithKey(u"owner@example.org"_s);
        m_otherKey = m_service->createUserWithKey(u"other@example.org"_s);
        QVERIFY(!m_key.isEmpty() && !m_otherKey.isEmpty());
        // The HTTP front under clients that misbehave, on raw connections.
        m_front = std::make_unique<ServiceProcess>(
            QStringList{u"--request-timeout"_s, u"1"_s, u"--keep-alive-timeout"_s, u"1"_s});
        QVERIFY2(m_front->isRunning(), qPrintable(m_front->failureMessage()));
    }

    void presetsLifecycleWithExactShapes() {
        ServiceProcess& service = *m_service;
        const QJsonArray standard =
            service.withKey("GET", u"/api/0/presets"_s, m_key).data().toArray();
        QVERIFY(standard.size() >= 8);
        for (const QJsonValue& value : standard) {
            QCOMPARE(value.toObject().keys(), RecordKeys);
            QVERIFY(value[u"global"_s].toBool());
        }

        const HttpResult created =
            service.withKey("POST", u"/api/0/presets"_s, m_key, body(record(u"Terse"_s)));
        QCOMPARE(created.status, 200);
        const QJsonObject mine = created.data().toObject();
        const int id = mine.value(u"id"_s).toInt();
        QVERIFY(id > 0);
        QJsonObject expected = record(u"Terse"_s);
        expected[u"id"_s] = id;
        expected[u"global"_s] = false;
        QCOMPARE(mine, expected);

        const QJsonArray listed =
            service.withKey("GET", u"/api/0/presets"_s, m_key).data().toArray();
        QCOMPARE(listed.size(), standard.size() + 1);
        QCOMPARE(listed.last().toObject(), expected);
        QCOMPARE(service.withKey("GET", u"/api/0/presets"_s, m_otherKey).data().toArray().size(),
                 standard.size());

        expected[u"name"_s] = u"Terser"_s;
        expected[u"temperature"_s] = 1.5;
        const HttpResult updated =
            service.withKey("PUT", u"/api/0/presets/%1"_s.arg(id), m_key, body(expected));
        QCOMPARE(updated.status, 200);
        QCOMPARE(updated.data().toObject(), expected);

        // Standard prompts are no one's to change; another user's are not found.
        const QString standardPath = u"/api/0/presets/%1"_s.arg(standard.first()[u"id"_s].toInt());
        const QString minePath = u"/api/0/presets/%1"_s.arg(id);
        for (const auto& [method, path, key, status] :
             {std::tuple{"PUT", standardPath, m_key, 403},
              {"DELETE", standardPath, m_key, 403},
              {"PUT", minePath, m_otherKey, 404},
              {"DELETE", minePath, m_otherKey, 404},
              {"DELETE", u"/api/0/presets/99999"_s, m_key, 404}})
            QCOMPARE(service.withKey(method, path, key, body(expected)).status, status);

        const HttpResult deleted = service.withKey("DELETE", minePath, m_key);
        QCOMPARE(deleted.status, 200);
        QCOMPARE(deleted.json().object(), expected);
        QCOMPARE(service.withKey("DELETE", minePath, m_key).status, 404);
    }

    void badInputIsRefusedAndChangesNothing_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("status");
        QJsonObject wrongType = record(u"x"_s);
        wrongType[u"temperature"_s] = u"warm"_s;
        QTest::newRow("malformed json") << QByteArray("{\"preset\": {") << 400;
        QTest::newRow("wrong type") << body(wrongType) << 400;
        QTest::newRow("oversized") << body(record(QString(1100 * 1024, QLatin1Char('n')))) << 413;
        QTest::newRow("lone surrogate")
            << body(record(u"x"_s)).replace("\"x\"", "\"a\\ud800b\"") << 400;
    }

    void badInputIsRefusedAndChangesNothing() {
        QFETCH(QByteArray, payload);
        QFETCH(int, status);
        const QByteArray before = m_service->withKey("GET", u"/api/0/presets"_s, m_key).body;
        const HttpResult result = m_service->withKey("POST", u"/api/0/presets"_s, m_key, payload);
        QCOMPARE(result.status, status);
        QCOMPARE(m_service->withKey("GET", u"/api/0/presets"_s, m_key).body, before);
    }

    void everyApiRouteNeedsAKnownKey() {
        for (const auto& [method, path] : {std::pair<QByteArray, QString>{"GET", u"/api/0/user"_s},
                                           {"GET", u"/api/0/presets"_s},
                                           {"POST", u"/api/0/presets"_s},
                                           {"DELETE", u"/api/0/presets/1"_s},
                                           {"DELETE", u"/api/0/devices/logout"_s},
                                           {"POST", u"/api/0/texts"_s}}) {
            QCOMPARE(m_service->withKey(method, path, u"not-a-key"_s).status, 401);
            QCOMPARE(m_service->request(method, path).status, 401);
        }
    }

    void fullDiskAcknowledgesOnlyStoredWrites() {
        // A file size limit stands in for a full disk: SQLite learns of it at the commit.
        ServiceProcess service({}, {}, {}, 400 * 1024);
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"full@example.org"_s);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);
        QJsonObject preset = record(u"p"_s);
        preset[u"system_message"_s] = QString(15000, QLatin1Char('s'));
        QStringList acknowledged;
        HttpResult last;
        for (int i = 0; i < 200 && last.status != 500; ++i) {
            preset[u"name"_s] = u"p%1"_s.arg(i);
            last = service.withKey("POST", u"/api/0/presets"_s, key, body(preset));
            if (last.status == 200)
                acknowledged.append(QString::number(last.data()[u"id"_s].toInteger()));
        }
        QCOMPARE(last.status, 500);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 503);
        QVERIFY(service.log().contains("write not stored"));
        // Read back past the service: every acknowledged row, each once.
        QVERIFY(!acknowledged.isEmpty());
        QCOMPARE(service.select(u"SELECT id FROM presets WHERE user_id IS NOT NULL ORDER BY id"_s),
                 acknowledged);
    }

    void requestsAnsweredInOrderOrRefused_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QList<int>>("statuses");
        const QByteArray post = "POST /api/0/presets HTTP/1.1\r\nHost: x\r\n";
        QTest::newRow("pipelined") << "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n"
                                      "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
                                      "GET /healthz HTTP/1.1\r\n" +
                                          Close
                                   << QList<int>{200, 404, 200};
        QTest::newRow("slow headers")
            << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\n") << QList<int>{408};
        QTest::newRow("idle keep-alive")
            << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n") << QList<int>{200};
        QTest::newRow("conflicting lengths")
            << post + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello!" << QList<int>{400};
        QTest::newRow("headers too large")
            << "GET /healthz HTTP/1.1\r\nX-Big: " + QByteArray(20 * 1024, 'a') + "\r\n" + Close
            << QList<int>{431};
        // Refused on its length alone: not one byte of the body is sent.
        QTest::newRow("declared body too large") << post + "Content-Length: 300000000\r\n\r\n"
                                                 << QList<int>{413};
        QTest::newRow("chunked body too large")
            << post + "Transfer-Encoding: chunked\r\n\r\n100000\r\n" + QByteArray(0x100000, 'a') +
                   "\r\n10\r\n" + QByteArray(16, 'a') + "\r\n0\r\n\r\n"
            << QList<int>{413};
    }

    void requestsAnsweredInOrderOrRefused() {
        QFETCH(QByteArray, request);
        QFETCH(QList<int>, statuses);
        QCOMPARE(statusesFor(m_front->port(), request), statuses);
    }

    void pathsCannotForgeLogLines() {
        QCOMPARE(
            statusesFor(m_front->port(), "GET /a%0d%0aforged%20status=200 HTTP/1.1\r\n" + Close),
            QList<int>{404});
        QTRY_VERIFY(m_front->log().contains("path=/a\\x0d\\x0aforged status=200 status=404"));
        QVERIFY(!m_front->log().contains("\nforged"));
    }

    // The desktop application's own sign-in client against the real service.
    void signInReachesOnlyTheVerifiedClientOnceAndKeyWorks() {
        ServiceProcess& service = *m_service;
        const ServiceBase base = *ServiceBase::parse(u"http://127.0.0.1:%1"_s.arg(service.port()));
        const QString token = newSignInToken();
        SystemTimerSource timers;
        std::unique_ptr<WebSocketAuthService> socket =
            WebSocketAuthService::create(token, nullptr, base, timers);
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
        const QUrl page = SignIn::browserPageUrl(base, token, true);
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
        const auto get = [&](const QString& path) {
            QNetworkRequest request(QUrl(u"https://127.0.0.1:%1"_s.arg(service.port()) + path));
            request.setSslConfiguration(tls);
            std::unique_ptr<QNetworkReply> reply(service.network().get(request));
            QSignalSpy finished(reply.get(), &QNetworkReply::finished);
            static_cast<void>(finished.wait(10000));
            return reply;
        };
        const auto health = get(u"/healthz"_s);
        QCOMPARE(health->error(), QNetworkReply::NoError);
        QCOMPARE(health->readAll(), QByteArray("ok\n"));
        QVERIFY(health->rawHeader("Strict-Transport-Security").startsWith("max-age="));
        // The sign-in form's cookie never travels over plain HTTP.
        const auto form = get(u"/users/log_in?token="_s + newSignInToken());
        QVERIFY2(form->rawHeader("Set-Cookie").endsWith("; Secure"), form->rawHeader("Set-Cookie"));
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 0);
        // The sign-in socket too, on the same port.
        ChannelClient channel(QUrl(u"wss://127.0.0.1:%1/auth_socket/0/auth"_s.arg(service.port())),
                              tls);
        channel.sendBinary(channelFrame(u"auth:"_s + newSignInToken()));
        QCOMPARE(channel.next()[u"payload"_s][u"status"_s].toString(), u"ok"_s);
    }

    // The service finding a model server among the candidates it is given.
    void firstCandidateWithAChatModelIsUsed_data() {
        // Per candidate the models it lists, or "down" (nothing listens) or "404".
        QTest::addColumn<QList<QStringList>>("servers");
        QTest::addColumn<QString>("wanted"); // --llm-model
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("model");
        const QStringList down{u"down"_s}, notFound{u"404"_s};
        QTest::newRow("first answering")
            << QList<QStringList>{down, notFound, {u"a"_s}, {u"b"_s}} << QString() << 2 << u"a"_s;
        QTest::newRow("embedding models passed over")
            << QList<QStringList>{{u"text-embed"_s}, {u"nomic-embed-text"_s, u"llama3.2:3b"_s}}
            << QString() << 1 << u"llama3.2:3b"_s;
        QTest::newRow("asked model by its Ollama name")
            << QList<QStringList>{{u"other"_s, u"llama3.2:latest"_s}} << u"llama3.2"_s << 0
            << u"llama3.2:latest"_s;
        QTest::newRow("nothing usable")
            << QList<QStringList>{down, {u"text-embedding"_s}, {}} << QString() << -1 << QString();
    }

    void firstCandidateWithAChatModelIsUsed() {
        QFETCH(QList<QStringList>, servers);
        QFETCH(QString, wanted);
        QFETCH(int, used);
        QFETCH(QString, model);
        std::vector<std::unique_ptr<Model>> models;
        QStringList urls;
        for (const QStringList& listed : servers) {
            models.push_back(listed == QStringList{u"down"_s} ? nullptr
                                                              : std::make_unique<Model>());
            urls.append(models.back() ? models.back()->baseUrl() : unusedUrl());
            if (!models.back())
                continue;
            models.back()->setModels(listed);
            if (listed == QStringList{u"404"_s})
                models.back()->setRawAnswer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            models.back()->setScript({Model::text(u"ok"_s), Model::done()});
        }
        QStringList options{u"--llm-candidates"_s, urls.join(u',')};
        if (!wanted.isEmpty())
            options << u"--llm-model"_s << wanted;
        ServiceProcess service(options);
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const HttpResult answer = service.generate(service.createUserWithKey(u"w@example.org"_s));
        for (size_t i = 0; i < models.size(); ++i)
            QVERIFY(!models[i] || int(i) == used || models[i]->requests().isEmpty());
        if (used < 0) {
            QCOMPARE(answer.status, 503);
            QCOMPARE(answer.header("X-Orvane-Reason"), QByteArray("no-model-server"));
            return;
        }
        QCOMPARE(answer.body, QByteArray("ok"));
        QCOMPARE(models[used]->requests().first().value(u"model"_s).toString(), model);
    }

    void serverGoingAwayIsReplacedByOneStartedLater() {
        auto first = std::make_unique<Model>();
        first->setModels({u"first-model"_s});
        first->setScript({Model::text(u"from first"_s), Model::done()});
        const QString laterUrl = unusedUrl();
        ServiceProcess service({u"--llm-candidates"_s, first->baseUrl() + u',' + laterUrl});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"writer@example.org"_s);
        QCOMPARE(service.generate(key).body, QByteArray("from first"));

        first.reset();
        // Looked for again at most every few seconds; then the refusal says why.
        QTRY_COMPARE_WITH_TIMEOUT(service.generate(key).header("X-Orvane-Reason"),
                                  QByteArray("no-model-server"), 15000);

        Model later(nullptr, QUrl(laterUrl).port());
        later.setModels({u"later-model"_s});
        later.setScript({Model::text(u"from later"_s), Model::done()});
        QTRY_COMPARE_WITH_TIMEOUT(service.generate(key).body, QByteArray("from later"), 15000);
        QCOMPARE(later.requests().last().value(u"model"_s).toString(), u"later-model"_s);
    }

    void explicitUrlTurnsDiscoveryOff() {
        Model configured;
        Model candidate;
        configured.setScript({Model::text(u"ok"_s), Model::done()});
        QUrl url(configured.baseUrl() + u"?key=hidden"_s);
        url.setUserInfo(u"me:secret"_s);
        ServiceProcess service({u"--llm-url"_s, url.toString(), u"--llm-model"_s, u"mine"_s,
                                u"--llm-candidates"_s, candidate.baseUrl()});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"writer@example.org"_s);
        QCOMPARE(service.generate(key).body, QByteArray("ok"));
        QCOMPARE(configured.requests().first().value(u"model"_s).toString(), u"mine"_s);
        QCOMPARE(configured.modelListRequests() + candidate.modelListRequests(), 0);
        // The health page names the server without the credentials in its address.
        const QJsonObject health = service.request("GET", u"/healthz/model"_s).json().object();
        QCOMPARE(health.value(u"discovery"_s).toBool(true), false);
        QCOMPARE(health.value(u"url"_s).toString(), configured.baseUrl());
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<ServiceProcess> m_front;
    QString m_key;
    QString m_otherKey;
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
