#include "serviceprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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

/** The "data" member of a JSON answer. */
QJsonValue data(const HttpResult& result) {
    return result.json().object().value(u"data"_s);
}

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
    }

    void presetsLifecycleWithExactShapes() {
        ServiceProcess& service = *m_service;
        const QJsonArray standard =
            data(service.withKey("GET", u"/api/0/presets"_s, m_key)).toArray();
        QVERIFY(standard.size() >= 8);
        int enabled = 0;
        int withHotkey = 0;
        for (const QJsonValue& value : standard) {
            const QJsonObject preset = value.toObject();
            QCOMPARE(preset.keys(), RecordKeys);
            QVERIFY(preset.value(u"global"_s).toBool());
            QVERIFY(preset.value(u"id"_s).isDouble() && preset.value(u"temperature"_s).isDouble());
            QVERIFY(!preset.value(u"system_message"_s).toString().isEmpty());
            enabled += preset.value(u"enabled_by_default"_s).toBool();
            withHotkey += !preset.value(u"hotkey"_s).toString().isEmpty();
        }
        QVERIFY(enabled >= 2 && enabled < standard.size());
        QVERIFY(withHotkey >= 2);

        const HttpResult created =
            service.withKey("POST", u"/api/0/presets"_s, m_key, body(record(u"Terse"_s)));
        QCOMPARE(created.status, 200);
        QJsonObject mine = created.json().object().value(u"data"_s).toObject();
        const int id = mine.value(u"id"_s).toInt();
        QVERIFY(id > 0);
        QJsonObject expected = record(u"Terse"_s);
        expected[u"id"_s] = id;
        expected[u"global"_s] = false;
        QCOMPARE(mine, expected);

        service.withKey("POST", u"/api/0/presets"_s, m_key, body(record(u"Second"_s)));
        const QJsonArray listed =
            data(service.withKey("GET", u"/api/0/presets"_s, m_key)).toArray();
        QCOMPARE(listed.size(), standard.size() + 2);
        QCOMPARE(listed.at(standard.size()).toObject(), expected);
        QCOMPARE(listed.last().toObject().value(u"name"_s).toString(), u"Second"_s);
        QCOMPARE(data(service.withKey("GET", u"/api/0/presets"_s, m_otherKey)).toArray().size(),
                 standard.size());

        expected[u"name"_s] = u"Terser"_s;
        expected[u"temperature"_s] = 1.5;
        const HttpResult updated =
            service.withKey("PUT", u"/api/0/presets/%1"_s.arg(id), m_key, body(expected));
        QCOMPARE(updated.status, 200);
        QCOMPARE(updated.json().object().value(u"data"_s).toObject(), expected);

        const int standardId = standard.first().toObject().value(u"id"_s).toInt();
        QCOMPARE(
            service.withKey("PUT", u"/api/0/presets/%1"_s.arg(standardId), m_key, body(expected))
                .status,
            403);
        QCOMPARE(service.withKey("DELETE", u"/api/0/presets/%1"_s.arg(standardId), m_key).status,
                 403);
        QCOMPARE(service.withKey("PUT", u"/api/0/presets/%1"_s.arg(id), m_otherKey, body(expected))
                     .status,
                 404);
        QCOMPARE(service.withKey("DELETE", u"/api/0/presets/%1"_s.arg(id), m_otherKey).status, 404);
        QCOMPARE(service.withKey("DELETE", u"/api/0/presets/99999"_s, m_key).status, 404);

        const HttpResult deleted = service.withKey("DELETE", u"/api/0/presets/%1"_s.arg(id), m_key);
        QCOMPARE(deleted.status, 200);
        QCOMPARE(deleted.json().object(), expected);
        QCOMPARE(service.withKey("DELETE", u"/api/0/presets/%1"_s.arg(id), m_key).status, 404);
    }

    void badInputIsRefusedAndChangesNothing_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("status");
        QJsonObject wrongType = record(u"x"_s);
        wrongType[u"temperature"_s] = u"warm"_s;
        QJsonObject missing = record(u"x"_s);
        missing.remove(u"user_message"_s);
        QTest::newRow("malformed json")
            << QByteArray("POST") << u"/api/0/presets"_s << QByteArray("{\"preset\": {") << 400;
        QTest::newRow("wrong type")
            << QByteArray("POST") << u"/api/0/presets"_s << body(wrongType) << 400;
        QTest::newRow("missing field")
            << QByteArray("POST") << u"/api/0/presets"_s << body(missing) << 400;
        QTest::newRow("not wrapped") << QByteArray("POST") << u"/api/0/presets"_s
                                     << QJsonDocument(record(u"x"_s)).toJson() << 400;
        QTest::newRow("oversized") << QByteArray("POST") << u"/api/0/presets"_s
                                   << body(record(QString(1100 * 1024, QLatin1Char('n')))) << 413;
        QTest::newRow("lone surrogate")
            << QByteArray("POST") << u"/api/0/presets"_s
            << QByteArray(body(record(u"x"_s)).replace("\"x\"", "\"a\\ud800b\"")) << 400;
        QTest::newRow("NUL") << QByteArray("POST") << u"/api/0/presets"_s
                             << QByteArray(body(record(u"x"_s)).replace("\"x\"", "\"a\\u0000b\""))
                             << 400;
        QTest::newRow("unknown route")
            << QByteArray("GET") << u"/api/0/nothing"_s << QByteArray() << 404;
        QTest::newRow("bad id") << QByteArray("PUT") << u"/api/0/presets/abc"_s
                                << body(record(u"x"_s)) << 404;
    }

    void badInputIsRefusedAndChangesNothing() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, payload);
        QFETCH(int, status);
        const QByteArray before = m_service->withKey("GET", u"/api/0/presets"_s, m_key).body;
        const HttpResult result = m_service->withKey(method, path, m_key, payload);
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
        ServiceProcess service({}, {}, {}, ResourceLimits{400 * 1024, 0});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"full@example.org"_s);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);
        QJsonObject preset = record(u"p"_s);
        preset[u"system_message"_s] = QString(15000, QLatin1Char('s'));
        QList<qint64> acknowledged;
        HttpResult last;
        for (int i = 0; i < 200 && last.status != 500; ++i) {
            preset[u"name"_s] = u"p%1"_s.arg(i);
            last = service.withKey("POST", u"/api/0/presets"_s, key, body(preset));
            if (last.status == 200)
                acknowledged.append(data(last).toObject().value(u"id"_s).toInteger());
        }
        QCOMPARE(last.status, 500);
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 503);
        QVERIFY(service.log().contains("write not stored"));
        // Read back past the service: every acknowledged row, each once.
        QList<qint64> stored;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"readback"_s);
            db.setDatabaseName(service.databasePath());
            QVERIFY(db.open());
            QSqlQuery query(u"SELECT id FROM presets WHERE user_id IS NOT NULL ORDER BY id"_s, db);
            while (query.next())
                stored.append(query.value(0).toLongLong());
        }
        QSqlDatabase::removeDatabase(u"readback"_s);
        QVERIFY(!acknowledged.isEmpty());
        QCOMPARE(stored, acknowledged);
    }

    void healthFailsWhenTheDatabaseFileIsGone() {
        ServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 200);
        QVERIFY(QFile::remove(service.databasePath()));
        QCOMPARE(service.request("GET", u"/healthz"_s).status, 503);
    }

private:
    std::unique_ptr<ServiceProcess> m_service;
    QString m_key;
    QString m_otherKey;
};

QTEST_GUILESS_MAIN(ApiTest)
#include "tst_api.moc"
