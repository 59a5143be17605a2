#include "serviceprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

/** A throw-away PostgreSQL cluster on a loopback port, or a reason why there is none. */
class PostgresCluster {
public:
    PostgresCluster() {
        QStringList searchPaths;
        for (const QString& version :
             QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            searchPaths << u"/usr/lib/postgresql/%1/bin"_s.arg(version);
        const QString initdb = QStandardPaths::findExecutable(u"initdb"_s, searchPaths);
        const QString postgres = QStandardPaths::findExecutable(u"postgres"_s, searchPaths);
        if (initdb.isEmpty() || postgres.isEmpty()) {
            m_problem = u"PostgreSQL server binaries not installed"_s;
            return;
        }
        // PostgreSQL refuses to run as root; the system's postgres account runs it then.
        QStringList as;
        if (::geteuid() == 0) {
            const passwd* account = ::getpwnam("postgres");
            if (!account ||
                ::chown(qPrintable(m_dir.path()), account->pw_uid, account->pw_gid) != 0) {
                m_problem = u"running as root without a postgres account"_s;
                return;
            }
            as = {u"runuser"_s, u"-u"_s, u"postgres"_s, u"--"_s};
        }
        const QString data = m_dir.filePath(u"data"_s);
        QProcess init;
        init.start(u"env"_s, as + QStringList{initdb, u"-D"_s, data, u"-A"_s, u"trust"_s, u"-U"_s,
                                              u"orvane"_s});
        if (!init.waitForFinished(60000) || init.exitCode() != 0) {
            m_problem = u"initdb failed: "_s + QString::fromUtf8(init.readAllStandardError());
            return;
        }
        m_port = unusedPort();
        m_server.start(u"env"_s, as + QStringList{postgres, u"-D"_s, data, u"-p"_s,
                                                  QString::number(m_port), u"-k"_s, m_dir.path(),
                                                  u"-c"_s, u"listen_addresses=127.0.0.1"_s});
        m_server.waitForStarted(10000);
        // An open port is not enough: while starting up the server refuses sessions.
        const QString isReady = QStandardPaths::findExecutable(u"pg_isready"_s, searchPaths);
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_server.state() == QProcess::Running) {
            QProcess probe;
            probe.start(isReady, {u"-q"_s, u"-h"_s, u"127.0.0.1"_s, u"-p"_s,
                                  QString::number(m_port), u"-U"_s, u"orvane"_s});
            if (probe.waitForFinished(5000) && probe.exitCode() == 0)
                return;
            QTest::qWait(100);
        }
        m_problem = u"postgres did not start"_s;
    }

    ~PostgresCluster() {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }

    [[nodiscard]] QString problem() const { return m_problem; }
    [[nodiscard]] QString url() const {
        return u"postgresql://orvane@127.0.0.1:%1/postgres"_s.arg(m_port);
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

    void twoInstancesShareOneDatabase() {
        ServiceProcess first({}, m_cluster->url());
        QVERIFY2(first.isRunning(), qPrintable(first.failureMessage()));
        const QString key = first.createUserWithKey(u"pg@example.org"_s);
        QJsonObject record = first.withKey("GET", u"/api/0/presets"_s, key).data()[0].toObject();
        record[u"name"_s] = u"Mine"_s;
        const QByteArray body = QJsonDocument(QJsonObject{{u"preset"_s, record}}).toJson();
        const HttpResult created = first.withKey("POST", u"/api/0/presets"_s, key, body);
        QCOMPARE(created.status, 200);
        const QJsonObject mine = created.data().toObject();
        QCOMPARE(mine.value(u"global"_s).toBool(), false);
        QCOMPARE(mine.value(u"temperature"_s).toDouble(),
                 record.value(u"temperature"_s).toDouble());
        const QString minePath = u"/api/0/presets/%1"_s.arg(mine.value(u"id"_s).toInt());
        QCOMPARE(first.withKey("PUT", minePath, key, body).status, 200);
        const QJsonArray presets = first.withKey("GET", u"/api/0/presets"_s, key).data().toArray();
        QCOMPARE(presets.last().toObject().value(u"name"_s).toString(), u"Mine"_s);

        // Started on the current schema: nothing is seeded twice, nothing is lost.
        ServiceProcess second({}, m_cluster->url());
        QVERIFY2(second.isRunning(), qPrintable(second.failureMessage()));
        QCOMPARE(second.withKey("GET", u"/api/0/presets"_s, key).data().toArray(), presets);

        // Joined on one instance, signed up on the other.
        const QString token = newSignInToken();
        ChannelClient channel(second.socketUrl());
        channel.sendBinary(channelFrame(u"auth:"_s + token));
        QCOMPARE(channel.next()[u"payload"_s][u"status"_s].toString(), u"ok"_s);
        QCOMPARE(first.signUp(token, u"far@example.org"_s, u"far away 123"_s).status, 200);
        const QJsonObject user = channel.payloadOf(u"logged_in"_s);
        QCOMPARE(user.value(u"email"_s).toString(), u"far@example.org"_s);
        QCOMPARE(
            second.withKey("GET", u"/api/0/user"_s, user.value(u"device_key"_s).toString()).status,
            200);
        // Signed in before any socket joined; the join on the other instance still gets it.
        const QString later = newSignInToken();
        QCOMPARE(first.logIn(later, u"far@example.org"_s, u"far away 123"_s).status, 200);
        ChannelClient lateChannel(second.socketUrl());
        lateChannel.sendBinary(channelFrame(u"auth:"_s + later));
        QCOMPARE(lateChannel.payloadOf(u"logged_in"_s)[u"email"_s].toString(),
                 u"far@example.org"_s);

        QCOMPARE(second.withKey("DELETE", u"/api/0/devices/logout"_s, key).status, 204);
        QCOMPARE(first.withKey("GET", u"/api/0/user"_s, key).status, 401);
    }

private:
    std::unique_ptr<PostgresCluster> m_cluster;
};

QTEST_GUILESS_MAIN(PostgresTest)
#include "tst_postgres.moc"
