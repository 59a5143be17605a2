#include "processtree.h"
#include "webpage/pageprotocol.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

/*
 * orvane-webpage as orvane runs it: commands on standard input, reports on standard
 * output, pages from a loopback server. Its browser engine must be gone with it.
 */

namespace {

constexpr int timeout = 30000;

} // namespace

class HelperTest : public QObject {
    Q_OBJECT

    QTcpServer m_server;
    QList<QByteArray> m_requests;
    QProcess m_helper;
    PageProtocol::LineReader m_reader;
    QList<QJsonObject> m_reports;

    void start() {
        m_reports.clear();
        m_helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_helper.start(ORVANE_WEBPAGE_BINARY, {});
        QVERIFY(m_helper.waitForStarted());
    }

    QJsonObject reportWith(const QString& key) {
        for (const QJsonObject& report : std::as_const(m_reports)) {
            if (report.contains(key))
                return report;
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
        connect(&m_helper, &QProcess::readyReadStandardOutput, this,
                [this] { m_reports += m_reader.append(m_helper.readAllStandardOutput()); });
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray received =
                    socket->property("request").toByteArray() + socket->readAll();
                socket->setProperty("request", received);
                const QByteArray request = socket->property("request").toByteArray();
                if (!request.contains("\r\n\r\n"))
                    return;
                if (request.startsWith("GET /web_view/")) // not the icon
                    m_requests << request;
                const QByteArray body = "<html><body><button id=\"go\">Go</button></body></html>";
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                              "Content-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }

    void loadsWithHeadersAndQuitsWithItsEngine() {
        start();
        QTRY_VERIFY_WITH_TIMEOUT(reportWith("window")["window"].toDouble() > 0, timeout);
        const QUrl url(u"http://127.0.0.1:%1/web_view/account"_s.arg(m_server.serverPort()));
        m_helper.write(PageProtocol::loadCommand(
            {url, {{"Authorization", "Bearer k1"}, {"Dark-Theme", "True"}}, "#1e1f23", {}}));
        QTRY_COMPARE_WITH_TIMEOUT(reportWith("loaded")["loaded"].toString(), url.toString(),
                                  timeout);
        QVERIFY(m_requests.first().startsWith("GET /web_view/account "));
        QVERIFY(m_requests.first().contains("\r\nAuthorization: Bearer k1\r\n"));
        QVERIFY(m_requests.first().contains("\r\nDark-Theme: True\r\n"));

        // A reload asks the service again, with the same headers.
        m_helper.write(PageProtocol::reloadCommand());
        QTRY_COMPARE_WITH_TIMEOUT(m_requests.size(), 2, timeout);
        QVERIFY(m_requests.last().contains("\r\nAuthorization: Bearer k1\r\n"));

        // The engine's own processes are gone with the helper, not orphaned.
        const QMap<qint64, QByteArray> engine = descendants(m_helper.processId());
        QVERIFY(!engine.isEmpty());
        m_helper.write(PageProtocol::quitCommand());
        QVERIFY(m_helper.waitForFinished(timeout));
        QCOMPARE(m_helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_helper.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(stillRunning(engine).isEmpty(), timeout);
    }

    void endsWhenOrvaneGoesAway() {
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!reportWith("window").isEmpty(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!descendants(m_helper.processId()).isEmpty(), timeout);
        const QMap<qint64, QByteArray> engine = descendants(m_helper.processId());
        m_helper.closeWriteChannel();
        QVERIFY(m_helper.waitForFinished(timeout));
        QTRY_VERIFY_WITH_TIMEOUT(stillRunning(engine).isEmpty(), timeout);
    }
};

QTEST_MAIN(HelperTest)
#include "tst_helper.moc"
