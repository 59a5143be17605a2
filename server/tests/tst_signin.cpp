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

namespace {

QByteArray frame(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject joinMessage(const QString& topic) {
    return {{QStringLiteral("topic"), topic},
            {QStringLiteral("event"), QStringLiteral("phx_join")},
            {QStringLiteral("payload"), QJsonObject()},
            {QStringLiteral("ref"), 0}};
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
    QJsonObject next(int timeoutMs = 10000) {
        if (m_read >= m_spy.size() && !m_spy.wait(timeoutMs))
            return {};
        return QJsonDocument::fromJson(m_spy.at(m_read++).at(0).toString().toUtf8()).object();
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
        const QString topic = QStringLiteral("auth:") + token;
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());

        channel.sendBinary(frame(joinMessage(topic)));
        QCOMPARE(channel.next(),
                 QJsonObject({{QStringLiteral("event"), QStringLiteral("phx_reply")},
                              {QStringLiteral("payload"),
                               QJsonObject{{QStringLiteral("response"), QJsonObject()},
                                           {QStringLiteral("status"), QStringLiteral("ok")}}},
                              {QStringLiteral("ref"), 0},
                              {QStringLiteral("topic"), topic}}));
        channel.sendBinary(frame({{QStringLiteral("topic"), topic},
                                  {QStringLiteral("event"), QStringLiteral("ping")},
                                  {QStringLiteral("payload"), QJsonObject()},
                                  {QStringLiteral("ref"), 0}}));
        QCOMPARE(channel.next(),
                 QJsonObject({{QStringLiteral("event"), QStringLiteral("phx_reply")},
                              {QStringLiteral("payload"),
                               QJsonObject{{QStringLiteral("response"), QStringLiteral("pong")},
                                           {QStringLiteral("status"), QStringLiteral("ok")}}},
                              {QStringLiteral("ref"), 0},
                              {QStringLiteral("topic"), topic}}));

        const QString password = QStringLiteral("Tr0ub4dor & 3 = safe?");
        const HttpResult done =
            service.submitBrowserForm(QStringLiteral("/users/register"), token,
                                      QStringLiteral("New.User@Example.org"), password);
        QCOMPARE(done.status, 200);
        QVERIFY(done.body.contains("Return to Orvane"));

        const QJsonObject loggedIn = channel.next();
        QCOMPARE(loggedIn.keys(), (QStringList{QStringLiteral("event"), QStringLiteral("payload"),
                                               QStringLiteral("topic")}));
        QCOMPARE(loggedIn.value(QStringLiteral("event")).toString(), QStringLiteral("logged_in"));
        QCOMPARE(loggedIn.value(QStringLiteral("topic")).toString(), topic);
        const QJsonObject payload = loggedIn.value(QStringLiteral("payload")).toObject();
        QCOMPARE(payload.keys(), (QStringList{QStringLiteral("device_key"), QStringLiteral("email"),
                                              QStringLiteral("id")}));
        QCOMPARE(payload.value(QStringLiteral("email")).toString(),
                 QStringLiteral("new.user@example.org"));
        QVERIFY(payload.value(QStringLiteral("id")).isDouble());
        const QString key = payload.value(QStringLiteral("device_key")).toString();
        QCOMPARE(key.size(), 43);

        const HttpResult user = service.withKey("GET", QStringLiteral("/api/0/user"), key);
        QCOMPARE(user.status, 200);
        QCOMPARE(
            user.json().object(),
            QJsonObject(
                {{QStringLiteral("data"),
                  QJsonObject{{QStringLiteral("email"), payload.value(QStringLiteral("email"))},
                              {QStringLiteral("id"), payload.value(QStringLiteral("id"))},
                              {QStringLiteral("device_key"), key}}}}));

        // Neither the password nor the key may be found in the database or the log.
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            db.setDatabaseName(service.databasePath());
            QVERIFY(db.open());
            QByteArray everything;
            for (const QString& table : db.tables()) {
                QSqlQuery query(QStringLiteral("SELECT * FROM ") + table, db);
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
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        const QByteArray log = service.log();
        QVERIFY(log.contains("path=/users/register status=200"));
        QVERIFY(!log.contains(password.toUtf8()));
        QVERIFY(!log.contains(QUrl::toPercentEncoding(password)));
        QVERIFY(!log.contains(key.toUtf8()));
        QVERIFY(!log.contains(token.toUtf8()));

        QCOMPARE(service.withKey("DELETE", QStringLiteral("/api/0/devices/logout"), key).status,
                 204);
        QCOMPARE(service.withKey("GET", QStringLiteral("/api/0/user"), key).status, 401);
        QCOMPARE(service.withKey("DELETE", QStringLiteral("/api/0/devices/logout"), key).status,
                 401);
    }

    void signInBeforeJoinStillReachesSocket() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QVERIFY(!service
                     .createUserWithKey(QStringLiteral("early@example.org"),
                                        QStringLiteral("early bird 42"))
                     .isEmpty());
        const QString token = newSignInToken();
        QCOMPARE(service
                     .submitBrowserForm(QStringLiteral("/users/log_in"), token,
                                        QStringLiteral("early@example.org"),
                                        QStringLiteral("early bird 42"))
                     .status,
                 200);

        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        channel.sendText(frame(joinMessage(QStringLiteral("auth:") + token)));
        QCOMPARE(channel.next().value(QStringLiteral("event")).toString(),
                 QStringLiteral("phx_reply"));
        const QJsonObject loggedIn = channel.next();
        QCOMPARE(loggedIn.value(QStringLiteral("event")).toString(), QStringLiteral("logged_in"));
        const QString key = loggedIn.value(QStringLiteral("payload"))
                                .toObject()
                                .value(QStringLiteral("device_key"))
                                .toString();
        QCOMPARE(service.withKey("GET", QStringLiteral("/api/0/user"), key).status, 200);

        // Delivered once: a second socket joining the same channel gets only its reply.
        ChannelClient second(service.socketUrl());
        second.sendText(frame(joinMessage(QStringLiteral("auth:") + token)));
        QCOMPARE(second.next().value(QStringLiteral("event")).toString(),
                 QStringLiteral("phx_reply"));
        QVERIFY(!second.hasMoreWithin(300));
    }

    void rejectedFormsChangeNothing() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QVERIFY(!service
                     .createUserWithKey(QStringLiteral("victim@example.org"),
                                        QStringLiteral("right password"))
                     .isEmpty());
        const QString token = newSignInToken();
        ChannelClient channel(service.socketUrl());
        channel.sendText(frame(joinMessage(QStringLiteral("auth:") + token)));
        QCOMPARE(channel.next().value(QStringLiteral("event")).toString(),
                 QStringLiteral("phx_reply"));

        // A forged form (no cookie-bound CSRF token) is refused and creates no account.
        const HttpResult forged = service.request(
            "POST", QStringLiteral("/users/register"),
            formBody({{QStringLiteral("token"), token},
                      {QStringLiteral("csrf_token"), QStringLiteral("forged")},
                      {QStringLiteral("email"), QStringLiteral("forged@example.org")},
                      {QStringLiteral("password"), QStringLiteral("whatever123")}}),
            FormHeaders);
        QCOMPARE(forged.status, 403);
        QVERIFY(forged.body.contains("expired"));
        QVERIFY(
            !service.admin({QStringLiteral("user"), QStringLiteral("list")}).contains("forged@"));
        QCOMPARE(service.request("GET", QStringLiteral("/users/log_in?token=short")).status, 400);
        QCOMPARE(service
                     .submitBrowserForm(QStringLiteral("/users/register"), token,
                                        QStringLiteral("victim@example.org"),
                                        QStringLiteral("another one 1"))
                     .status,
                 409);

        for (int attempt = 0; attempt < 5; ++attempt) {
            const HttpResult wrong = service.submitBrowserForm(
                QStringLiteral("/users/log_in"), token, QStringLiteral("victim@example.org"),
                QStringLiteral("wrong password"));
            QCOMPARE(wrong.status, 401);
            QVERIFY(wrong.body.contains("not correct"));
        }
        const HttpResult limited = service.submitBrowserForm(QStringLiteral("/users/log_in"), token,
                                                             QStringLiteral("victim@example.org"),
                                                             QStringLiteral("right password"));
        QCOMPARE(limited.status, 429);
        QVERIFY(limited.header("Retry-After").toInt() > 0);
        QVERIFY(!channel.hasMoreWithin(300));
    }

    void malformedFramesAreAnsweredOrDropped() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        ChannelClient channel(service.socketUrl());
        QVERIFY(channel.isConnected());
        channel.sendText("not json at all");
        channel.sendBinary("\xff\xfe{");
        channel.sendText("[1, 2]");
        channel.sendText(frame(joinMessage(QStringLiteral("auth:tooshort"))));
        const QJsonObject refused = channel.next();
        QCOMPARE(refused.value(QStringLiteral("event")).toString(), QStringLiteral("phx_reply"));
        QCOMPARE(refused.value(QStringLiteral("payload"))
                     .toObject()
                     .value(QStringLiteral("status"))
                     .toString(),
                 QStringLiteral("error"));
        QCOMPARE(refused.value(QStringLiteral("topic")).toString(),
                 QStringLiteral("auth:tooshort"));
        channel.sendText(frame(joinMessage(QStringLiteral("auth:") + newSignInToken())));
        QCOMPARE(channel.next()
                     .value(QStringLiteral("payload"))
                     .toObject()
                     .value(QStringLiteral("status"))
                     .toString(),
                 QStringLiteral("ok"));
        QCOMPARE(service.request("GET", QStringLiteral("/healthz")).status, 200);
    }

    void embeddedPagesCarryTheirControls() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(QStringLiteral("pages@example.org"));
        const QList<QPair<QByteArray, QByteArray>> dark = {{"Dark-Theme", "True"}};
        const HttpResult login =
            service.request("GET", QStringLiteral("/web_view/login"), {}, dark);
        QVERIFY(login.body.contains("<button id=\"sign_in\"") &&
                login.body.contains("<button id=\"sign_up\""));
        QVERIFY(login.body.contains("<html lang=\"en\" class=\"dark\">"));
        QVERIFY(!service.request("GET", QStringLiteral("/web_view/login"))
                     .body.contains("class=\"dark\""));
        QVERIFY(service.request("GET", QStringLiteral("/web_view/continue"))
                    .body.contains("<button id=\"sign_in\""));
        QVERIFY(service.request("GET", QStringLiteral("/web_view/welcome"))
                    .body.contains("<button id=\"show_settings\""));
        const HttpResult finish = service.request("GET", QStringLiteral("/web_view/finish"));
        QVERIFY(finish.body.contains("<button id=\"start\"") &&
                finish.body.contains("<button id=\"settings\""));

        const QList<QPair<QByteArray, QByteArray>> signedIn = {
            {"Authorization", "Bearer " + key.toLatin1()}, {"Window-Hotkey", "command+option+c"}};
        const HttpResult account =
            service.request("GET", QStringLiteral("/web_view/account"), {}, signedIn);
        QVERIFY(account.body.contains("pages@example.org") &&
                account.body.contains("<button id=\"logout\""));
        QCOMPARE(service
                     .request("GET", QStringLiteral("/web_view/account"), {},
                              {{"Authorization", "Bearer "}})
                     .status,
                 401);
        const HttpResult help =
            service.request("GET", QStringLiteral("/web_view/help"), {}, signedIn);
        QVERIFY(help.body.contains(QByteArray("<kbd id=\"window_hotkey\">Ctrl+Alt+C</kbd>")) &&
                help.body.contains("<button id=\"start\""));

        const HttpResult reportForm =
            service.request("GET", QStringLiteral("/web_view/new_report"), {}, signedIn);
        QVERIFY(reportForm.body.contains("<button id=\"send_report\""));
        const QByteArray report =
            formBody({{QStringLiteral("report_token"),
                       formField(reportForm.body, QStringLiteral("report_token"))},
                      {QStringLiteral("body"), QStringLiteral("The widget froze & stayed")}});
        QCOMPARE(
            service.request("POST", QStringLiteral("/web_view/new_report"), report, FormHeaders)
                .status,
            200);
        QCOMPARE(service
                     .request("POST", QStringLiteral("/web_view/new_report"),
                              formBody({{QStringLiteral("report_token"),
                                         QStringLiteral("1.99999999999.x")},
                                        {QStringLiteral("body"), QStringLiteral("forged")}}),
                              FormHeaders)
                     .status,
                 403);
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reports"));
        db.setDatabaseName(service.databasePath());
        QVERIFY(db.open());
        QSqlQuery query(QStringLiteral("SELECT body FROM reports"), db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("The widget froze & stayed"));
        QVERIFY(!query.next());
    }

    void servesHttpsAndSecureSocketsWithACertificate() {
        QTemporaryDir dir;
        const QString certificate = dir.filePath(QStringLiteral("cert.pem"));
        const QString key = dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                       QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                       QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            QSKIP("openssl cannot make a test certificate here");
        ServiceProcess service(
            {QStringLiteral("--tls-cert"), certificate, QStringLiteral("--tls-key"), key});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));

        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(certificate));
        QNetworkRequest request(
            QUrl(QStringLiteral("https://127.0.0.1:%1/healthz").arg(service.port())));
        request.setSslConfiguration(tls);
        QNetworkReply* reply = service.network().get(request);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("ok\n"));
        reply->deleteLater();
        QCOMPARE(service.request("GET", QStringLiteral("/healthz")).status, 0);

        QWebSocket socket;
        socket.setSslConfiguration(tls);
        QSignalSpy connected(&socket, &QWebSocket::connected);
        QSignalSpy received(&socket, &QWebSocket::textMessageReceived);
        socket.open(
            QUrl(QStringLiteral("wss://127.0.0.1:%1/auth_socket/0/auth").arg(service.port())));
        QVERIFY(connected.wait(10000));
        socket.sendBinaryMessage(frame(joinMessage(QStringLiteral("auth:") + newSignInToken())));
        QVERIFY(received.wait(10000));
        QVERIFY(received.first().first().toString().contains(QLatin1String("\"status\":\"ok\"")));
    }

    void badConfigurationStopsWithAClearError() {
        QProcess process;
        process.start(serviceBinary(),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:99999")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("--listen expects HOST:PORT"));
        process.start(serviceBinary(),
                      {QStringLiteral("--tls-cert"), QStringLiteral("/nonexistent.pem"),
                       QStringLiteral("--tls-key"), QStringLiteral("/nonexistent.key"),
                       QStringLiteral("--database"), QStringLiteral("sqlite:/proc/orvane/db")});
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
