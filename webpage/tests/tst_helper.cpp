#include "processtree.h"
#include "scriptedserver.h"
#include "webpage/pageprotocol.h"

#include <QProcess>
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

    ScriptedServer m_server;
    QProcess m_helper;
    PageProtocol::LineReader m_reader;
    QList<QJsonObject> m_reports;

    /** The page requests the helper made (not the icon's). */
    QList<RecordedRequest> pageRequests() const {
        QList<RecordedRequest> pages;
        for (const RecordedRequest& request : m_server.requests()) {
            if (request.line.startsWith("GET /web_view/"))
                pages << request;
        }
        return pages;
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
        m_server.respond("GET", u"/web_view/account"_s,
                         ScriptedResponse::html("<html><body><button id=\"go\">Go</button>"
                                                "</body></html>"));
    }

    void loadsWithHeadersAndEndsWithOrvane() {
        m_helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_helper.start(ORVANE_WEBPAGE_BINARY, {});
        QVERIFY(m_helper.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(reportWith("window")["window"].toDouble() > 0, timeout);
        const QUrl url(m_server.baseUrl() + u"/web_view/account"_s);
        m_helper.write(PageProtocol::loadCommand(
            {url, {{"Authorization", "Bearer k1"}, {"Dark-Theme", "True"}}, "#1e1f23", {}}));
        QTRY_COMPARE_WITH_TIMEOUT(reportWith("loaded")["loaded"].toString(), url.toString(),
                                  timeout);
        QCOMPARE(pageRequests().first().header("Authorization"), "Bearer k1");
        QCOMPARE(pageRequests().first().header("Dark-Theme"), "True");

        // A reload asks the service again, with the same headers.
        m_helper.write(PageProtocol::reloadCommand());
        QTRY_COMPARE_WITH_TIMEOUT(pageRequests().size(), 2, timeout);
        QCOMPARE(pageRequests().last().header("Authorization"), "Bearer k1");

        // Orvane goes away without a quit, as when it crashes: the engine's own processes go
        // with the helper, not orphaned.
        const QMap<qint64, QByteArray> engine = descendants(m_helper.processId());
        QVERIFY(!engine.isEmpty());
        m_helper.closeWriteChannel();
        QVERIFY(m_helper.waitForFinished(timeout));
        QTRY_VERIFY_WITH_TIMEOUT(stillRunning(engine).isEmpty(), timeout);
    }
};

QTEST_MAIN(HelperTest)
#include "tst_helper.moc"
