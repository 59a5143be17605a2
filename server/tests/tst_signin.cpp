#include "serviceprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>
#include <QUrlQuery>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace {

QByteArray frame(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject joinMessage(const QString& topic) {
    return {{u"topic"_s, topic},
            {u"event"_s, u"phx_join"_s},
            {u"payload"_s, QJsonObject()},
            {u"ref"_s, 0}};
}

/** A channel client that collects every message the service sends it. */
class ChannelClient {
public:
    explicit ChannelClient(const QUrl& url)
        : m_spy(&m_socket, &QWebSocket::textMessageReceived) {
        QSignalSpy connected(&m_socket, &QWebSocket::connected);
        m_socket.open(url);
        m_connected = connected.wait(10000);
    }
    bool isConnected() const { return m_connected; }
    void sendBinary(const QByteArray& data) { m_socket.sendBinaryMessage(data); }
    void sendText(const QByteArray& data) { m_socket.sendTextMessage(QString::fromUtf8(data)); }
    /** The next message, or an empty object when none arrives in time. */
    QJsonObject next(int timeoutMs = 10000) { return nextDocument(timeoutMs).object(); }
    QJsonDocument nextDocument(int timeoutMs = 10000) {
        if (m_read >= m_spy.size() && !m_spy.wait(timeoutMs))
            return {};
        return QJsonDocument::fromJson(m_spy.at(m_read++).at(0).toString().toUtf8());
    }
    bool hasMoreWithin(int ms) { return m_read < m_spy.size() || m_spy.wait(ms); }

private:
    QWebSocket m_socket;
    QSignalSpy m_spy;
    qsizetype m_read = 0;
    bool m_connected = false;
};

const QList<QPair<QByteArray, QByteArray>> FormHeaders = {
    {"Content-Type", "application/x-www-form-urlencoded"}};

} // namespace

class SignInTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void registrationReachesJoinedSocketAndKeyWorks() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString token = newSignInToken();
        const QString topic = u"auth:"_s + token;
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());

        channel.sendBinary(frame(joinMessage(topic)));
        QCOMPARE(channel.next(),
                 QJsonObject({{u"event"_s, u"phx_reply"_s},
                              {u"payload"_s,
                               QJsonObject{{u"response"_s, QJsonObject()}, {u"status"_s, u"ok"_s}}},
                              {u"ref"_s, 0},
                              {u"topic"_s, topic}}));
        channel.sendBinary(frame({{u"topic"_s, topic},
                                  {u"event"_s, u"ping"_s},
                                  {u"payload"_s, QJsonObject()},
                                  {u"ref"_s, 0}}));
        QCOMPARE(channel.next(), QJsonObject({{u"event"_s, u"phx_reply"_s},
                                              {u"payload"_s, QJsonObject{{u"response"_s, u"pong"_s},
                                                                         {u"status"_s, u"ok"_s}}},
                                              {u"ref"_s, 0},
                                              {u"topic"_s, topic}}));

        const QString password = u"Tr0ub4dor & 3 = safe?"_s;
        const HttpResult done = service.submitBrowserForm(u"/users/register"_s, token,
                                                          u"New.User@Example.org"_s, password);
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

        // Neither the password nor the key may be found in the database or the log.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"inspect"_s);
            db.setDatabaseName(service.databasePath());
            QVERIFY(db.open());
            QByteArray everything;
            for (const QString& table : db.tables()) {
                QSqlQuery query(u"SELECT * FROM "_s + table, db);
                while (query.next()) {
                    for (int column = 0; column < query.record().count(); ++column)
                        everything += query.value(column).toString().toUtf8() + '\n';
                }
            }
            QVERIFY(everything.contains("new.user@example.org"));
            QVERIFY(!everything.contains(password.toUtf8()));
            QVERIFY(!everything.contains(key.toUtf8()));
            QVERIFY(everything.contains("$argon2id$"));
        }
        QSqlDatabase::removeDatabase(u"inspect"_s);
        const QByteArray log = service.log();
        QVERIFY(log.contains("path=/users/register status=200"));
        QVERIFY(!log.contains(password.toUtf8()));
        QVERIFY(!log.contains(QUrl::toPercentEncoding(password)));
        QVERIFY(!log.contains(key.toUtf8()));
        QVERIFY(!log.contains(token.toUtf8()));

        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 204);
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, key).status, 401);
        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 401);
    }

    void signInBeforeJoinStillReachesSocket() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QVERIFY(!service.createUserWithKey(u"early@example.org"_s, u"early bird 42"_s).isEmpty());
        const QString token = newSignInToken();
        QCOMPARE(service
                     .submitBrowserForm(u"/users/log_in"_s, token, u"early@example.org"_s,
                                        u"early bird 42"_s)
                     .status,
                 200);

        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        channel.sendText(frame(joinMessage(u"auth:"_s + token)));
        QCOMPARE(channel.next().value(u"event"_s).toString(), u"phx_reply"_s);
        const QJsonObject loggedIn = channel.next();
        QCOMPARE(loggedIn.value(u"event"_s).toString(), u"logged_in"_s);
        const QString key =
            loggedIn.value(u"payload"_s).toObject().value(u"device_key"_s).toString();
        QCOMPARE(service.withKey("GET", u"/api/0/user"_s, key).status, 200);

        // Delivered once: a second socket joining the same channel gets only its reply.
        ChannelClient second(service.socketUrl());
        second.sendText(frame(joinMessage(u"auth:"_s + token)));
        QCOMPARE(second.next().value(u"event"_s).toString(), u"phx_reply"_s);
        QVERIFY(!second.hasMoreWithin(300));
    }

    void rejectedFormsChangeNothing() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QVERIFY(!service.createUserWithKey(u"victim@example.org"_s, u"right password"_s).isEmpty());
        const QString token = newSignInToken();
        ChannelClient channel(service.socketUrl());
        channel.sendText(frame(joinMessage(u"auth:"_s + token)));
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
        QCOMPARE(service
                     .submitBrowserForm(u"/users/register"_s, token, u"victim@example.org"_s,
                                        u"another one 1"_s)
                     .status,
                 409);

        for (int attempt = 0; attempt < 5; ++attempt) {
            const HttpResult wrong = service.submitBrowserForm(
                u"/users/log_in"_s, token, u"victim@example.org"_s, u"wrong password"_s);
            QCOMPARE(wrong.status, 401);
            QVERIFY(wrong.body.contains("not correct"));
        }
        const HttpResult limited = service.submitBrowserForm(
            u"/users/log_in"_s, token, u"victim@example.org"_s, u"right password"_s);
        QCOMPARE(limited.status, 429);
        QVERIFY(limited.header("Retry-After").toInt() > 0);
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
            return QList<QPair<QByteArray, QByteArray>>{{"X-Forwarded-For", address}};
        };
        QList<int> attacker;
        for (int attempt = 0; attempt < 6; ++attempt)
            attacker.append(service
                                .submitBrowserForm(u"/users/log_in"_s, newSignInToken(),
                                                   u"owner@example.org"_s, u"guess"_s,
                                                   from("203.0.113.5"))
                                .status);
        QCOMPARE(attacker, (QList<int>{401, 401, 401, 401, 401, 429}));
        QCOMPARE(service
                     .submitBrowserForm(u"/users/log_in"_s, newSignInToken(),
                                        u"owner@example.org"_s, u"correct horse 1"_s,
                                        from("198.51.100.7"))
                     .status,
                 ownerStatus);
    }

    void malformedFramesAreAnsweredOrDropped() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        channel.sendText("not json at all");
        channel.sendBinary("\xff\xfe{");
        channel.sendText("[1, 2]");
        channel.sendText(frame(joinMessage(u"auth:tooshort"_s)));
        const QJsonObject refused = channel.next();
        QCOMPARE(refused.value(u"event"_s).toString(), u"phx_reply"_s);
        QCOMPARE(refused.value(u"payload"_s).toObject().value(u"status"_s).toString(), u"error"_s);
        QCOMPARE(refused.value(u"topic"_s).toString(), u"auth:tooshort"_s);
        channel.sendText(frame(joinMessage(u"auth:"_s + newSignInToken())));
        QCOMPARE(channel.next().value(u"payload"_s).toObject().value(u"status"_s).toString(),
                 u"ok"_s);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);
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
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
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

        QCOMPARE(service
                     .submitBrowserForm(u"/users/register"_s, token, u"phx@example.org"_s,
                                        u"correct horse 1"_s)
                     .status,
                 200);
        const QJsonDocument delivered = channel.nextDocument();
        const QJsonObject user =
            (arrays ? delivered.array().at(4) : delivered.object().value(u"payload"_s)).toObject();
        QCOMPARE(delivered, message(u"3"_s, {}, topic, u"logged_in"_s, user));
        QCOMPARE(user.value(u"email"_s).toString(), u"phx@example.org"_s);
    }

    void aSocketJoinsALimitedNumberOfTopics() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        ChannelClient channel(service.socketUrl());
        QStringList statuses;
        for (int i = 0; i < 9; ++i) {
            channel.sendText(frame(joinMessage(u"auth:"_s + newSignInToken())));
            statuses.append(
                channel.next().value(u"payload"_s).toObject().value(u"status"_s).toString());
        }
        QCOMPARE(statuses.count(u"ok"_s), 8);
        QCOMPARE(statuses.last(), u"error"_s);
    }

    void embeddedPagesCarryTheirControls() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"pages@example.org"_s);
        const QList<QPair<QByteArray, QByteArray>> dark = {{"Dark-Theme", "True"}};
        const HttpResult login = service.request("GET", u"/web_view/login"_s, {}, dark);
        QVERIFY(login.body.contains("<button id=\"sign_in\"") &&
                login.body.contains("<button id=\"sign_up\""));
        QVERIFY(login.body.contains("<html lang=\"en\" class=\"dark\">"));
        QVERIFY(!service.request("GET", u"/web_view/login"_s).body.contains("class=\"dark\""));
        QVERIFY(service.request("GET", u"/web_view/continue"_s)
                    .body.contains("<button id=\"sign_in\""));
        QVERIFY(service.request("GET", u"/web_view/welcome"_s)
                    .body.contains("<button id=\"show_settings\""));
        const HttpResult finish = service.request("GET", u"/web_view/finish"_s);
        QVERIFY(finish.body.contains("<button id=\"start\"") &&
                finish.body.contains("<button id=\"settings\""));

        const QList<QPair<QByteArray, QByteArray>> signedIn = {
            {"Authorization", "Bearer " + key.toLatin1()}, {"Window-Hotkey", "command+option+c"}};
        const HttpResult account = service.request("GET", u"/web_view/account"_s, {}, signedIn);
        QVERIFY(account.body.contains("pages@example.org") &&
                account.body.contains("<button id=\"logout\""));
        QCOMPARE(service.request("GET", u"/web_view/account"_s, {}, {{"Authorization", "Bearer "}})
                     .status,
                 401);
        const HttpResult help = service.request("GET", u"/web_view/help"_s, {}, signedIn);
        QVERIFY(help.body.contains(QByteArray("<kbd id=\"window_hotkey\">Ctrl+Alt+C</kbd>")) &&
                help.body.contains("<button id=\"start\""));

        const HttpResult reportForm =
            service.request("GET", u"/web_view/new_report"_s, {}, signedIn);
        QVERIFY(reportForm.body.contains("<button id=\"send_report\""));
        const QByteArray report =
            formBody({{u"report_token"_s, formField(reportForm.body, u"report_token"_s)},
                      {u"body"_s, u"The widget froze & stayed"_s}});
        QCOMPARE(service.request("POST", u"/web_view/new_report"_s, report, FormHeaders).status,
                 200);
        QCOMPARE(service
                     .request("POST", u"/web_view/new_report"_s,
                              formBody({{u"report_token"_s, u"1.99999999999.x"_s},
                                        {u"body"_s, u"forged"_s}}),
                              FormHeaders)
                     .status,
                 403);
        // A form opened before signing out cannot send once the device is signed out.
        const QByteArray late = formBody(
            {{u"report_token"_s,
              formField(service.request("GET", u"/web_view/new_report"_s, {}, signedIn).body,
                        u"report_token"_s)},
             {u"body"_s, u"after logout"_s}});
        QCOMPARE(service.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 204);
        QCOMPARE(service.request("POST", u"/web_view/new_report"_s, late, FormHeaders).status, 403);
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"reports"_s);
        db.setDatabaseName(service.databasePath());
        QVERIFY(db.open());
        QSqlQuery query(u"SELECT body FROM reports"_s, db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), u"The widget froze & stayed"_s);
        QVERIFY(!query.next());
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

        QWebSocket socket;
        socket.setSslConfiguration(tls);
        QSignalSpy connected(&socket, &QWebSocket::connected);
        QSignalSpy received(&socket, &QWebSocket::textMessageReceived);
        socket.open(QUrl(u"wss://127.0.0.1:%1/auth_socket/0/auth"_s.arg(service.port())));
        QVERIFY(connected.wait(10000));
        socket.sendBinaryMessage(frame(joinMessage(u"auth:"_s + newSignInToken())));
        QVERIFY(received.wait(10000));
        QVERIFY(received.first().first().toString().contains(QLatin1String("\"status\":\"ok\"")));
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

    void stopsCleanlyOnSigterm() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QCOMPARE(service.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
