// The service's HTTP front under clients that misbehave, on raw connections.

#include "serviceprocess.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** A raw connection to the service that records everything it is sent. */
class RawClient {
public:
    explicit RawClient(quint16 port) {
        m_socket.setReadBufferSize(0);
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket,
                         [this] { received += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }
    void send(const QByteArray& bytes) {
        m_socket.write(bytes);
        m_socket.flush();
    }
    bool waitForClose(int timeoutMs = 10000) {
        return QTest::qWaitFor(
            [this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    }
    [[nodiscard]] bool isOpen() const {
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }
    /** The status of every answer received, in order. */
    [[nodiscard]] QList<int> statuses() const {
        QList<int> all;
        static const QRegularExpression status(u"(?:^|\\n)HTTP/1\\.1 (\\d{3}) "_s);
        for (const auto& match : status.globalMatch(QString::fromLatin1(received)))
            all.append(match.captured(1).toInt());
        return all;
    }

    QByteArray received;

private:
    QTcpSocket m_socket;
};

const QByteArray Close = "Host: x\r\nConnection: close\r\n\r\n";

} // namespace

class HttpTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_service = std::make_unique<ServiceProcess>(
            QStringList{u"--request-timeout"_s, u"1"_s, u"--keep-alive-timeout"_s, u"1"_s});
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
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
        QTest::newRow("HTTP/1.0 closes")
            << QByteArray("GET /healthz HTTP/1.0\r\n\r\n") << QList<int>{200};
        QTest::newRow("malformed request line")
            << QByteArray("HELLO THERE\r\n\r\n") << QList<int>{400};
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
        RawClient client(m_service->port());
        client.send(request);
        QVERIFY(client.waitForClose());
        QCOMPARE(client.statuses(), statuses);
    }

    void clientsThatAskBeforeSendingABodyAreToldToGoOn() {
        RawClient client(m_service->port());
        client.send("POST /api/0/presets HTTP/1.1\r\nExpect: 100-continue\r\n"
                    "Content-Length: 2\r\n" +
                    Close);
        QTRY_COMPARE(client.statuses(), QList<int>{100});
        client.send("{}");
        QVERIFY(client.waitForClose());
        QCOMPARE(client.statuses(), (QList<int>{100, 401}));
    }

    void slowAndIdleConnectionsAreClosed() {
        RawClient slow(m_service->port());
        slow.send("GET /healthz HTTP/1.1\r\nHost: x\r\n");
        RawClient idle(m_service->port());
        idle.send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(slow.waitForClose() && idle.waitForClose());
        QCOMPARE(slow.statuses(), QList<int>{408});
        QCOMPARE(idle.statuses(), QList<int>{200});
    }

    void pathsCannotForgeLogLines() {
        RawClient client(m_service->port());
        client.send("GET /a%0d%0aforged%20status=200 HTTP/1.1\r\n" + Close);
        QVERIFY(client.waitForClose());
        QTRY_VERIFY(m_service->log().contains("path=/a\\x0d\\x0aforged status=200 status=404"));
        QVERIFY(!m_service->log().contains("\nforged"));
    }

    void hugeBodiesTakeNoMemory_data() {
        QTest::addColumn<bool>("chunked");
        QTest::newRow("Content-Length") << false;
        QTest::newRow("chunked") << true;
    }

    void hugeBodiesTakeNoMemory() {
        QFETCH(bool, chunked);
        constexpr qint64 Offered = 300 * 1024 * 1024;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_service->port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write("POST /api/0/texts HTTP/1.1\r\nHost: x\r\n" +
                     (chunked ? QByteArray("Transfer-Encoding: chunked\r\n\r\n")
                              : "Content-Length: " + QByteArray::number(Offered) + "\r\n\r\n"));
        const QByteArray block(1024 * 1024, 'a');
        qint64 sent = 0;
        while (sent < Offered && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(chunked ? "100000\r\n" + block + "\r\n" : block);
            if (!socket.waitForBytesWritten(3000))
                break;
            sent += block.size();
        }
        // Refused early and cut off after a little lingering, not read whole.
        QVERIFY2(sent < 32 * 1024 * 1024, QByteArray::number(sent));
        const qint64 peak = m_service->statusKiB("VmHWM");
        QVERIFY2(peak > 0 && peak < 64 * 1024, QByteArray::number(peak));
    }

    void connectionsBeyondTheDescriptorsAreRefusedWithoutSpinning() {
        // 64 descriptors leave room for 16 connections; more get a clear refusal.
        ServiceProcess service({}, {}, {}, ResourceLimits{0, 64});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 40; ++i)
            clients.push_back(std::make_unique<RawClient>(service.port()));
        QTRY_COMPARE(std::count_if(clients.begin(), clients.end(),
                                   [](const auto& client) { return !client->isOpen(); }),
                     24);
        for (const auto& client : clients) {
            if (!client->isOpen())
                QCOMPARE(client->statuses(), QList<int>{503});
        }
        const qint64 before = service.cpuTicks();
        QTest::qWait(1000);
        QVERIFY2(service.cpuTicks() - before < 20, "the service spins while at its limit");
        clients.clear();
        QTRY_COMPARE(service.request("GET", u"/healthz"_s).status, 200);
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
};

QTEST_GUILESS_MAIN(HttpTest)
#include "tst_http.moc"
