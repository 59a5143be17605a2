#include "serviceprocess.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <pwd.h>
#include <unistd.h>

/** A throw-away PostgreSQL cluster on a loopback port, or a reason why there is none. */
class PostgresCluster {
public:
    PostgresCluster() {
        QStringList searchPaths;
        const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql"))
                                         .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& version : versions)
            searchPaths << QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        const QString initdb =
            QStandardPaths::findExecutable(QStringLiteral("initdb"), searchPaths);
        const QString postgres =
            QStandardPaths::findExecutable(QStringLiteral("postgres"), searchPaths);
        if (initdb.isEmpty() || postgres.isEmpty()) {
            m_problem = QStringLiteral("PostgreSQL server binaries not installed");
            return;
        }
        // PostgreSQL refuses to run as root; the system's postgres account runs it then.
        QStringList prefix;
        if (::geteuid() == 0) {
            const passwd* account = ::getpwnam("postgres");
            if (!account ||
                ::chown(qPrintable(m_dir.path()), account->pw_uid, account->pw_gid) != 0) {
                m_problem = QStringLiteral("running as root without a postgres account");
                return;
            }
            prefix = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                      QStringLiteral("--")};
        }
        const QString data = m_dir.filePath(QStringLiteral("data"));
        QProcess init;
        init.start(prefix.isEmpty() ? initdb : prefix.first(),
                   (prefix.isEmpty() ? QStringList{} : prefix.mid(1) + QStringList{initdb}) +
                       QStringList{QStringLiteral("-D"), data, QStringLiteral("-A"),
                                   QStringLiteral("trust"), QStringLiteral("-U"),
                                   QStringLiteral("orvane")});
        if (!init.waitForFinished(60000) || init.exitCode() != 0) {
            m_problem =
                QStringLiteral("initdb failed: ") + QString::fromUtf8(init.readAllStandardError());
            return;
        }
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        const QStringList arguments{postgres,
                                    QStringLiteral("-D"),
                                    data,
                                    QStringLiteral("-p"),
                                    QString::number(m_port),
                                    QStringLiteral("-k"),
                                    m_dir.path(),
                                    QStringLiteral("-c"),
                                    QStringLiteral("listen_addresses=127.0.0.1")};
        m_server.start(prefix.isEmpty() ? postgres : prefix.first(),
                       prefix.isEmpty() ? arguments.mid(1) : prefix.mid(1) + arguments);
        for (int attempt = 0; attempt < 100; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return;
            QTest::qWait(100);
        }
        m_problem = QStringLiteral("postgres did not start");
    }

    ~PostgresCluster() {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }

    [[nodiscard]] QString problem() const { return m_problem; }
    [[nodiscard]] QString url() const {
        return QStringLiteral("postgresql://orvane@127.0.0.1:%1/postgres").arg(m_port);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
    QString m_problem;
};

class PostgresTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_cluster = std::make_unique<PostgresCluster>();
        if (!m_cluster->problem().isEmpty())
            QSKIP(qPrintable(m_cluster->problem()));
    }

    void sameServiceOnPostgres() {
        const PostgresCluster& cluster = *m_cluster;
        QJsonArray presets;
        QString key;
        {
            ServiceProcess service({}, cluster.url());
            QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
            key = service.createUserWithKey(QStringLiteral("pg@example.org"));
            QCOMPARE(service.withKey("GET", QStringLiteral("/api/0/user"), key)
                         .json()
                         .object()
                         .value(QStringLiteral("data"))
                         .toObject()
                         .value(QStringLiteral("email"))
                         .toString(),
                     QStringLiteral("pg@example.org"));
            QJsonObject record = service.withKey("GET", QStringLiteral("/api/0/presets"), key)
                                     .json()
                                     .object()
                                     .value(QStringLiteral("data"))
                                     .toArray()
                                     .first()
                                     .toObject();
            record[QStringLiteral("name")] = QStringLiteral("Mine");
            const QByteArray body =
                QJsonDocument(QJsonObject{{QStringLiteral("preset"), record}}).toJson();
            const HttpResult created =
                service.withKey("POST", QStringLiteral("/api/0/presets"), key, body);
            QCOMPARE(created.status, 200);
            const QJsonObject mine =
                created.json().object().value(QStringLiteral("data")).toObject();
            QCOMPARE(mine.value(QStringLiteral("global")).toBool(), false);
            QCOMPARE(mine.value(QStringLiteral("temperature")).toDouble(),
                     record.value(QStringLiteral("temperature")).toDouble());
            QCOMPARE(service
                         .withKey("PUT",
                                  QStringLiteral("/api/0/presets/%1")
                                      .arg(mine.value(QStringLiteral("id")).toInt()),
                                  key, body)
                         .status,
                     200);
            presets = service.withKey("GET", QStringLiteral("/api/0/presets"), key)
                          .json()
                          .object()
                          .value(QStringLiteral("data"))
                          .toArray();
            QCOMPARE(presets.last().toObject().value(QStringLiteral("name")).toString(),
                     QStringLiteral("Mine"));
        }
        // A second start finds the schema current: nothing is seeded twice, nothing is lost.
        ServiceProcess again({}, cluster.url());
        QVERIFY2(again.isRunning(), qPrintable(again.failureMessage()));
        QCOMPARE(again.withKey("GET", QStringLiteral("/api/0/presets"), key)
                     .json()
                     .object()
                     .value(QStringLiteral("data"))
                     .toArray(),
                 presets);
        QCOMPARE(again.withKey("DELETE", QStringLiteral("/api/0/devices/logout"), key).status, 204);
        QCOMPARE(again.withKey("GET", QStringLiteral("/api/0/user"), key).status, 401);
    }
    void signInReachesTheSocketOfAnotherInstance() {
        ServiceProcess browserSide({}, m_cluster->url());
        ServiceProcess socketSide({}, m_cluster->url());
        QVERIFY2(browserSide.isRunning() && socketSide.isRunning(),
                 qPrintable(browserSide.failureMessage() + socketSide.failureMessage()));
        const auto join = [](QWebSocket& socket, const QUrl& url, const QString& token) {
            QSignalSpy connected(&socket, &QWebSocket::connected);
            socket.open(url);
            if (!connected.wait(10000))
                return false;
            socket.sendTextMessage(QString::fromUtf8(
                QJsonDocument(
                    QJsonObject{{QStringLiteral("topic"), QString(QStringLiteral("auth:") + token)},
                                {QStringLiteral("event"), QStringLiteral("phx_join")},
                                {QStringLiteral("payload"), QJsonObject()},
                                {QStringLiteral("ref"), 0}})
                    .toJson(QJsonDocument::Compact)));
            return true;
        };
        const auto loggedIn = [](QSignalSpy& received) {
            for (int i = 0; i < received.size() || received.wait(10000); ++i) {
                const QJsonObject message =
                    QJsonDocument::fromJson(received.at(i).at(0).toString().toUtf8()).object();
                if (message.value(QStringLiteral("event")).toString() ==
                    QStringLiteral("logged_in"))
                    return message.value(QStringLiteral("payload")).toObject();
            }
            return QJsonObject();
        };

        // Joined first on one instance, signed up on the other.
        const QString token = newSignInToken();
        QWebSocket socket;
        QSignalSpy received(&socket, &QWebSocket::textMessageReceived);
        QVERIFY(join(socket, socketSide.socketUrl(), token));
        QVERIFY(received.wait(10000));
        QCOMPARE(browserSide
                     .submitBrowserForm(QStringLiteral("/users/register"), token,
                                        QStringLiteral("far@example.org"),
                                        QStringLiteral("far away 123"))
                     .status,
                 200);
        const QJsonObject user = loggedIn(received);
        QCOMPARE(user.value(QStringLiteral("email")).toString(), QStringLiteral("far@example.org"));
        QCOMPARE(socketSide
                     .withKey("GET", QStringLiteral("/api/0/user"),
                              user.value(QStringLiteral("device_key")).toString())
                     .status,
                 200);

        // Signed in before any socket joined; the join on the other instance still gets it.
        const QString later = newSignInToken();
        QCOMPARE(browserSide
                     .submitBrowserForm(QStringLiteral("/users/log_in"), later,
                                        QStringLiteral("far@example.org"),
                                        QStringLiteral("far away 123"))
                     .status,
                 200);
        QTest::qWait(200);
        QWebSocket lateSocket;
        QSignalSpy lateReceived(&lateSocket, &QWebSocket::textMessageReceived);
        QVERIFY(join(lateSocket, socketSide.socketUrl(), later));
        QCOMPARE(loggedIn(lateReceived).value(QStringLiteral("email")).toString(),
                 QStringLiteral("far@example.org"));
    }

private:
    std::unique_ptr<PostgresCluster> m_cluster;
};

QTEST_GUILESS_MAIN(PostgresTest)
#include "tst_postgres.moc"
