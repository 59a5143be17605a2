#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QTest>

#include <vector>

using namespace Qt::StringLiterals;

// The service finding a model server among the candidates it is given.

namespace {

using Model = ScriptedModelServer;

QString unusedUrl() {
    return u"http://127.0.0.1:%1/v1"_s.arg(unusedPort());
}

} // namespace

class DiscoveryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstCandidateWithAChatModelIsUsed_data() {
        // Per candidate the models it lists, or "down" (nothing listens) or "404".
        QTest::addColumn<QList<QStringList>>("servers");
        QTest::addColumn<QString>("wanted"); // --llm-model
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("model");
        const QStringList down{u"down"_s}, notFound{u"404"_s};
        QTest::newRow("first answering")
            << QList<QStringList>{down, notFound, {u"a"_s}, {u"b"_s}} << QString() << 2 << u"a"_s;
        QTest::newRow("embedding models passed over")
            << QList<QStringList>{{u"text-embed"_s}, {u"nomic-embed-text"_s, u"llama3.2:3b"_s}}
            << QString() << 1 << u"llama3.2:3b"_s;
        QTest::newRow("asked model by its Ollama name")
            << QList<QStringList>{{u"other"_s, u"llama3.2:latest"_s}} << u"llama3.2"_s << 0
            << u"llama3.2:latest"_s;
        QTest::newRow("nothing usable")
            << QList<QStringList>{down, {u"text-embedding"_s}, {}} << QString() << -1 << QString();
    }

    void firstCandidateWithAChatModelIsUsed() {
        QFETCH(QList<QStringList>, servers);
        QFETCH(QString, wanted);
        QFETCH(int, used);
        QFETCH(QString, model);
        std::vector<std::unique_ptr<Model>> models;
        QStringList urls;
        for (const QStringList& listed : servers) {
            models.push_back(listed == QStringList{u"down"_s} ? nullptr
                                                              : std::make_unique<Model>());
            urls.append(models.back() ? models.back()->baseUrl() : unusedUrl());
            if (!models.back())
                continue;
            models.back()->setModels(listed);
            if (listed == QStringList{u"404"_s})
                models.back()->setRawAnswer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            models.back()->setScript({Model::text(u"ok"_s), Model::done()});
        }
        QStringList options{u"--llm-candidates"_s, urls.join(u',')};
        if (!wanted.isEmpty())
            options << u"--llm-model"_s << wanted;
        ServiceProcess service(options);
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const HttpResult answer = service.generate(service.createUserWithKey(u"w@example.org"_s));
        for (size_t i = 0; i < models.size(); ++i)
            QVERIFY(!models[i] || int(i) == used || models[i]->requests().isEmpty());
        if (used < 0) {
            QCOMPARE(answer.status, 503);
            QCOMPARE(answer.header("X-Orvane-Reason"), QByteArray("no-model-server"));
            return;
        }
        QCOMPARE(answer.body, QByteArray("ok"));
        QCOMPARE(models[used]->requests().first().value(u"model"_s).toString(), model);
    }

    void serverGoingAwayIsReplacedByOneStartedLater() {
        auto first = std::make_unique<Model>();
        first->setModels({u"first-model"_s});
        first->setScript({Model::text(u"from first"_s), Model::done()});
        const QString laterUrl = unusedUrl();
        ServiceProcess service({u"--llm-candidates"_s, first->baseUrl() + u',' + laterUrl});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"writer@example.org"_s);
        QCOMPARE(service.generate(key).body, QByteArray("from first"));

        first.reset();
        // Looked for again at most every few seconds; then the refusal says why.
        QTRY_COMPARE_WITH_TIMEOUT(service.generate(key).header("X-Orvane-Reason"),
                                  QByteArray("no-model-server"), 15000);

        Model later(nullptr, QUrl(laterUrl).port());
        later.setModels({u"later-model"_s});
        later.setScript({Model::text(u"from later"_s), Model::done()});
        QTRY_COMPARE_WITH_TIMEOUT(service.generate(key).body, QByteArray("from later"), 15000);
        QCOMPARE(later.requests().last().value(u"model"_s).toString(), u"later-model"_s);
    }

    void explicitUrlTurnsDiscoveryOff() {
        Model configured;
        Model candidate;
        configured.setScript({Model::text(u"ok"_s), Model::done()});
        QUrl url(configured.baseUrl() + u"?key=hidden"_s);
        url.setUserInfo(u"me:secret"_s);
        ServiceProcess service({u"--llm-url"_s, url.toString(), u"--llm-model"_s, u"mine"_s,
                                u"--llm-candidates"_s, candidate.baseUrl()});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(u"writer@example.org"_s);
        QCOMPARE(service.generate(key).body, QByteArray("ok"));
        QCOMPARE(configured.requests().first().value(u"model"_s).toString(), u"mine"_s);
        QCOMPARE(configured.modelListRequests() + candidate.modelListRequests(), 0);
        // The health page names the server without the credentials in its address.
        const QJsonObject health = service.request("GET", u"/healthz/model"_s).json().object();
        QCOMPARE(health.value(u"discovery"_s).toBool(true), false);
        QCOMPARE(health.value(u"url"_s).toString(), configured.baseUrl());
    }
};

QTEST_GUILESS_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
