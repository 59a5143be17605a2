#include "serviceprocess.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

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

} // namespace

class ApiTest : public QObject {
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
        int enabled = 0;
        for (const QJsonValue& value : standard) {
            const QJsonObject preset = value.toObject();
            QCOMPARE(preset.keys(), RecordKeys);
            QVERIFY(preset.value(u"global"_s).toBool());
            QVERIFY(!preset.value(u"system_message"_s).toString().isEmpty());
            enabled += preset.value(u"enabled_by_default"_s).toBool();
        }
        QVERIFY(enabled >= 2 && enabled < standard.size());

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
        QVERIFY(!result.body.isEmpty());
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

private:
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<ServiceProcess> m_front;
    QString m_key;
    QString m_otherKey;
};

QTEST_GUILESS_MAIN(ApiTest)
#include "tst_api.moc"
