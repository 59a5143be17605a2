#include "serviceprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

QJsonObject record(const QString& name) {
    return {{QStringLiteral("hotkey"), QStringLiteral("command+shift+1")},
            {QStringLiteral("id"), -1},
            {QStringLiteral("name"), name},
            {QStringLiteral("global"), true},
            {QStringLiteral("temperature"), 0.25},
            {QStringLiteral("system_message"), QStringLiteral("You are terse.")},
            {QStringLiteral("user_message"), QStringLiteral("Shorten this:")},
            {QStringLiteral("enabled_by_default"), false}};
}

QByteArray body(const QJsonObject& preset) {
    return QJsonDocument(QJsonObject{{QStringLiteral("preset"), preset}}).toJson();
}

const QStringList RecordKeys = {QStringLiteral("enabled_by_default"),
                                QStringLiteral("global"),
                                QStringLiteral("hotkey"),
                                QStringLiteral("id"),
                                QStringLiteral("name"),
                                QStringLiteral("system_message"),
                                QStringLiteral("temperature"),
                                QStringLiteral("user_message")};

} // namespace

class ApiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_key = m_service->createUserWithKey(QStringLiteral("owner@example.org"));
        m_otherKey = m_service->createUserWithKey(QStringLiteral("other@example.org"));
        QVERIFY(!m_key.isEmpty() && !m_otherKey.isEmpty());
    }

    void presetsLifecycleWithExactShapes() {
        ServiceProcess& service = *m_service;
        const QJsonArray standard = service.withKey("GET", QStringLiteral("/api/0/presets"), m_key)
                                        .json()
                                        .object()
                                        .value(QStringLiteral("data"))
                                        .toArray();
        QVERIFY(standard.size() >= 8);
        int enabled = 0;
        int withHotkey = 0;
        for (const QJsonValue& value : standard) {
            const QJsonObject preset = value.toObject();
            QCOMPARE(preset.keys(), RecordKeys);
            QVERIFY(preset.value(QStringLiteral("global")).toBool());
            QVERIFY(preset.value(QStringLiteral("id")).isDouble() &&
                    preset.value(QStringLiteral("temperature")).isDouble());
            QVERIFY(!preset.value(QStringLiteral("system_message")).toString().isEmpty());
            enabled += preset.value(QStringLiteral("enabled_by_default")).toBool();
            withHotkey += !preset.value(QStringLiteral("hotkey")).toString().isEmpty();
        }
        QVERIFY(enabled >= 2 && enabled < standard.size());
        QVERIFY(withHotkey >= 2);

        const HttpResult created = service.withKey("POST", QStringLiteral("/api/0/presets"), m_key,
                                                   body(record(QStringLiteral("Terse"))));
        QCOMPARE(created.status, 200);
        QJsonObject mine = created.json().object().value(QStringLiteral("data")).toObject();
        const int id = mine.value(QStringLiteral("id")).toInt();
        QVERIFY(id > 0);
        QJsonObject expected = record(QStringLiteral("Terse"));
        expected[QStringLiteral("id")] = id;
        expected[QStringLiteral("global")] = false;
        QCOMPARE(mine, expected);

        service.withKey("POST", QStringLiteral("/api/0/presets"), m_key,
                        body(record(QStringLiteral("Second"))));
        const QJsonArray listed = service.withKey("GET", QStringLiteral("/api/0/presets"), m_key)
                                      .json()
                                      .object()
                                      .value(QStringLiteral("data"))
                                      .toArray();
        QCOMPARE(listed.size(), standard.size() + 2);
        QCOMPARE(listed.at(standard.size()).toObject(), expected);
        QCOMPARE(listed.last().toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("Second"));
        QCOMPARE(service.withKey("GET", QStringLiteral("/api/0/presets"), m_otherKey)
                     .json()
                     .object()
                     .value(QStringLiteral("data"))
                     .toArray()
                     .size(),
                 standard.size());

        expected[QStringLiteral("name")] = QStringLiteral("Terser");
        expected[QStringLiteral("temperature")] = 1.5;
        const HttpResult updated = service.withKey(
            "PUT", QStringLiteral("/api/0/presets/%1").arg(id), m_key, body(expected));
        QCOMPARE(updated.status, 200);
        QCOMPARE(updated.json().object().value(QStringLiteral("data")).toObject(), expected);

        const int standardId = standard.first().toObject().value(QStringLiteral("id")).toInt();
        QCOMPARE(service
                     .withKey("PUT", QStringLiteral("/api/0/presets/%1").arg(standardId), m_key,
                              body(expected))
                     .status,
                 403);
        QCOMPARE(
            service.withKey("DELETE", QStringLiteral("/api/0/presets/%1").arg(standardId), m_key)
                .status,
            403);
        QCOMPARE(service
                     .withKey("PUT", QStringLiteral("/api/0/presets/%1").arg(id), m_otherKey,
                              body(expected))
                     .status,
                 404);
        QCOMPARE(service.withKey("DELETE", QStringLiteral("/api/0/presets/%1").arg(id), m_otherKey)
                     .status,
                 404);
        QCOMPARE(service.withKey("DELETE", QStringLiteral("/api/0/presets/99999"), m_key).status,
                 404);

        const HttpResult deleted =
            service.withKey("DELETE", QStringLiteral("/api/0/presets/%1").arg(id), m_key);
        QCOMPARE(deleted.status, 200);
        QCOMPARE(deleted.json().object(), expected);
        QCOMPARE(
            service.withKey("DELETE", QStringLiteral("/api/0/presets/%1").arg(id), m_key).status,
            404);
    }

    void badInputIsRefusedAndChangesNothing_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("status");
        QJsonObject wrongType = record(QStringLiteral("x"));
        wrongType[QStringLiteral("temperature")] = QStringLiteral("warm");
        QJsonObject missing = record(QStringLiteral("x"));
        missing.remove(QStringLiteral("user_message"));
        QTest::newRow("malformed json") << QByteArray("POST") << QStringLiteral("/api/0/presets")
                                        << QByteArray("{\"preset\": {") << 400;
        QTest::newRow("wrong type")
            << QByteArray("POST") << QStringLiteral("/api/0/presets") << body(wrongType) << 400;
        QTest::newRow("missing field")
            << QByteArray("POST") << QStringLiteral("/api/0/presets") << body(missing) << 400;
        QTest::newRow("not wrapped") << QByteArray("POST") << QStringLiteral("/api/0/presets")
                                     << QJsonDocument(record(QStringLiteral("x"))).toJson() << 400;
        QTest::newRow("oversized") << QByteArray("POST") << QStringLiteral("/api/0/presets")
                                   << body(record(QString(1100 * 1024, QLatin1Char('n')))) << 413;
        QTest::newRow("unknown route")
            << QByteArray("GET") << QStringLiteral("/api/0/nothing") << QByteArray() << 404;
        QTest::newRow("bad id") << QByteArray("PUT") << QStringLiteral("/api/0/presets/abc")
                                << body(record(QStringLiteral("x"))) << 404;
    }

    void badInputIsRefusedAndChangesNothing() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, payload);
        QFETCH(int, status);
        const QByteArray before =
            m_service->withKey("GET", QStringLiteral("/api/0/presets"), m_key).body;
        const HttpResult result = m_service->withKey(method, path, m_key, payload);
        QCOMPARE(result.status, status);
        QVERIFY(!result.body.isEmpty());
        QCOMPARE(m_service->withKey("GET", QStringLiteral("/api/0/presets"), m_key).body, before);
    }

    void everyApiRouteNeedsAKnownKey() {
        for (const auto& [method, path] :
             {std::pair<QByteArray, QString>{"GET", QStringLiteral("/api/0/user")},
              {"GET", QStringLiteral("/api/0/presets")},
              {"POST", QStringLiteral("/api/0/presets")},
              {"DELETE", QStringLiteral("/api/0/presets/1")},
              {"DELETE", QStringLiteral("/api/0/devices/logout")},
              {"POST", QStringLiteral("/api/0/texts")}}) {
            QCOMPARE(m_service->withKey(method, path, QStringLiteral("not-a-key")).status, 401);
            QCOMPARE(m_service->request(method, path).status, 401);
        }
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
    QString m_key;
    QString m_otherKey;
};

QTEST_GUILESS_MAIN(ApiTest)
#include "tst_api.moc"
