#include "scriptedmodelserver.h"
#include "service/textsservice.h"
#include "serviceprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** A generation form; a command that is a number names a prompt instead. */
QByteArray form(const QString& command, const QString& text, const QJsonArray& history = {}) {
    bool isPrompt = false;
    command.toLongLong(&isPrompt);
    // Encoded by the desktop client's own code.
    const auto encode = [](const QString& value) {
        return textsPercentEncode(value).value_or(QString()).toUtf8();
    };
    return (isPrompt ? "preset_id=" : "command=") + encode(command) + "&text=" + encode(text) +
           "&history=" +
           encode(QString::fromUtf8(QJsonDocument(history).toJson(QJsonDocument::Compact)));
}

QJsonObject message(const QString& role, const QString& content) {
    return {{u"role"_s, role}, {u"content"_s, content}};
}

} // namespace

class TextsTest : public QObject {
    Q_OBJECT

private:
    /** Starts a generation the way the application does: no Content-Type, bearer key. */
    QNetworkReply* post(const QByteArray& body) {
        QNetworkRequest request(m_service->url(u"/api/0/texts"_s));
        request.setRawHeader("Authorization", "Bearer " + m_key.toLatin1());
        return m_service->network().post(request, body);
    }

    HttpResult generate(const QByteArray& body) { return m_service->generate(m_key, body); }

    /** Starts the service again with these options added (later ones win). */
    void restartService(const QStringList& extra) {
        m_service.reset();
        m_service = std::make_unique<ServiceProcess>(m_arguments + extra);
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_key = m_service->createUserWithKey(u"writer@example.org"_s);
    }

    QJsonObject standardPrompt() {
        return m_service->withKey("GET", u"/api/0/presets"_s, m_key).data()[0].toObject();
    }

private Q_SLOTS:
    void init() {
        m_model = std::make_unique<ScriptedModelServer>();
        m_arguments = {u"--llm-url"_s,          m_model->baseUrl(),
                       u"--llm-model"_s,        u"scripted-model"_s,
                       u"--llm-idle-timeout"_s, u"2"_s,
                       u"--max-input-chars"_s,  u"1000"_s};
        restartService({});
        m_model->setScript({ScriptedModelServer::text(u"Fine."_s), ScriptedModelServer::done()});
    }

    void modelReceivesPromptCommandAndHistory() {
        const QJsonObject prompt = standardPrompt();
        const qint64 id = prompt.value(u"id"_s).toInteger();
        const QString text = u"Ths & that = 1+1, café\nline two"_s;
        const HttpResult answer = generate(form(QString::number(id), text));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=utf-8"));
        QCOMPARE(answer.body, QByteArray("Fine."));
        QCOMPARE(m_model->requests().size(), 1);
        const QJsonObject first = m_model->requests().at(0);
        QCOMPARE(first.value(u"model"_s).toString(), u"scripted-model"_s);
        QCOMPARE(first.value(u"stream"_s).toBool(), true);
        QCOMPARE(first.value(u"temperature"_s).toDouble(),
                 prompt.value(u"temperature"_s).toDouble());
        QCOMPARE(first.value(u"messages"_s).toArray(),
                 QJsonArray({message(u"system"_s, prompt.value(u"system_message"_s).toString()),
                             message(u"user"_s, prompt.value(u"user_message"_s).toString() +
                                                    u"\n\n"_s + text)}));

        const QJsonArray history{QJsonObject{{u"preset_id"_s, id},
                                             {u"text"_s, u"first text"_s},
                                             {u"response"_s, u"first answer"_s}},
                                 QJsonObject{{u"command"_s, u"Make it rhyme"_s},
                                             {u"text"_s, u"first answer"_s},
                                             {u"response"_s, u"second answer"_s}}};
        QCOMPARE(generate(form(u"Now in French"_s, u"second answer"_s, history)).status, 200);
        const QJsonObject second = m_model->requests().at(1);
        QJsonArray messages = second.value(u"messages"_s).toArray();
        // The command's own system message: some real instruction, not an empty one.
        QCOMPARE(messages.first().toObject().value(u"role"_s).toString(), u"system"_s);
        QVERIFY(messages.takeAt(0).toObject().value(u"content"_s).toString().size() > 20);
        const QString userMessage = prompt.value(u"user_message"_s).toString();
        QCOMPARE(messages, QJsonArray({message(u"user"_s, userMessage + u"\n\nfirst text"_s),
                                       message(u"assistant"_s, u"first answer"_s),
                                       message(u"user"_s, u"Make it rhyme\n\nfirst answer"_s),
                                       message(u"assistant"_s, u"second answer"_s),
                                       message(u"user"_s, u"Now in French\n\nsecond answer"_s)}));
    }

    void chunksArriveBeforeTheModelFinishesAndOutliveShutdown() {
        m_model->setScript({ScriptedModelServer::text(u"Hel"_s), ScriptedModelServer::hold(),
                            ScriptedModelServer::text(u"lo, "_s), ScriptedModelServer::pause(50),
                            ScriptedModelServer::text(u"world"_s), ScriptedModelServer::done()});
        QNetworkReply* reply = post(form(u"Greet"_s, u"x"_s));
        QTRY_VERIFY_WITH_TIMEOUT(reply->bytesAvailable() > 0, 10000);
        QCOMPARE(reply->readAll(), QByteArray("Hel"));
        QCOMPARE(m_model->finishedConnections(), 0);
        // Asked to stop, the service still finishes the running answer first.
        m_service->requestStop();
        QTest::qWait(200);
        QVERIFY(!reply->isFinished());
        m_model->release();
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("lo, world"));
        QCOMPARE(m_service->waitForExit(10000), 0);
        reply->deleteLater();
    }

    void streamShapes_data() {
        QTest::addColumn<QList<ScriptedModelServer::Step>>("script");
        QTest::addColumn<QString>("model");
        // The complete answer, or empty for a failure whose logged reason contains reason.
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("reason");
        using S = ScriptedModelServer;
        const auto ev = [](const QString& text) {
            return S::text(text).data;
        };
        const QByteArray partial = ev(u"partial"_s);
        const auto raw = &S::raw;
        const QString plain = u"scripted-model"_s;
        const auto row = [&](const char* name, QList<S::Step> script, const QByteArray& answer,
                             const QByteArray& reason = {}, const QString& model = {}) {
            QTest::newRow(name) << script << (model.isEmpty() ? plain : model) << answer << reason;
        };
        row("crlf split between chunks",
            {raw(ev(u"Hi"_s).chopped(2) + "\r"), raw("\n\r"), raw("\ndata: [DONE]\r\n\r\n")}, "Hi");
        row("multi-line data, comments and ids",
            {raw(": keep-alive\nevent: message\nid: 7\ndata: {\"choices\":[{\"delta\":\n"
                 "data: {\"content\":\"a\\nb\"}}]}\n\n"),
             S::done()},
            "a\nb");
        row("finish reason without [DONE]",
            {S::text(u"Done"_s),
             raw("data: {\"choices\":[{\"delta\":{},\"finish_reason\":\"stop\"}]}\n\n")},
            "Done");
        row("reasoning split across events",
            {S::text(u"<thi"_s), S::text(u"nk>The user wants </th"_s), S::text(u"ink>\n\nAnswer"_s),
             S::text(u" here. <"_s), S::text(u"3"_s), S::done()},
            "Answer here. <3");
        row("reasoning without opening tag",
            {S::text(u"The user wants a greeting.</th"_s), S::text(u"ink>\n\nHi"_s), S::done()},
            "Hi", {}, u"deepseek-r1:7b"_s);
        row("error line after deltas",
            {raw(partial), raw("error: {\"code\":500,\"message\":\"boom\"}\n\n"), S::done()}, {},
            "boom");
        row("choice error",
            {raw(partial),
             raw("data: {\"choices\":[{\"delta\":{},\"error\":{\"message\":\"upstream died\"},"
                 "\"finish_reason\":\"error\"}]}\n\n"),
             S::done()},
            {}, "upstream died");
        row("bad json", {raw(partial), raw("data: {\"choices\":[{\"delta\n\n"), S::done()}, {},
            "not a JSON object");
        row("ends without finishing", {raw(partial)}, {}, "ended the answer early");
        row("stalls", {raw(partial), S::hold()}, {}, "nothing for too long");
        row("oversized line", {raw(partial), raw("data: " + QByteArray(1100 * 1024, 'x'))}, {},
            "oversized");
    }

    void streamShapes() {
        QFETCH(QList<ScriptedModelServer::Step>, script);
        QFETCH(QString, model);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, reason);
        if (model != u"scripted-model"_s)
            restartService({u"--llm-model"_s, model});
        m_model->setScript(script);

        QNetworkReply* reply = post(form(u"Go"_s, u"x"_s));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 15000);
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        if (!answer.isEmpty()) {
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            QCOMPARE(body, answer);
        } else {
            // Cut without the final chunk: a failed transfer, never a shorter answer.
            QVERIFY(reply->error() != QNetworkReply::NoError);
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            QTRY_VERIFY(m_service->log().contains("status=502"));
            const QByteArray log = m_service->log();
            QVERIFY2(log.contains("model failed mid-answer") && log.contains(reason), log);
            QVERIFY(!log.contains("client went away") && !log.contains("status=499"));
        }
    }

    void refusalsAreClassified_data() {
        QTest::addColumn<QByteArray>("modelAnswer");
        QTest::addColumn<QByteArray>("reason");
        const auto answer = [](int status, const QByteArray& body) -> QByteArray {
            return "HTTP/1.1 " + QByteArray::number(status) +
                   " X\r\nContent-Type: application/json\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        QTest::newRow("unknown model")
            << answer(404,
                      "{\"error\":{\"message\":\"The model `m` does not exist\",\"code\":null}}")
            << QByteArray("model-not-found");
        QTest::newRow("bad key, error as a string")
            << answer(401, "{\"error\":\"Incorrect API key provided: sk-secret123\"}")
            << QByteArray("model-unauthorized");
        QTest::newRow("unreachable") << QByteArray() << QByteArray("model-unreachable");
    }

    void refusalsAreClassified() {
        QFETCH(QByteArray, modelAnswer);
        QFETCH(QByteArray, reason);
        if (modelAnswer.isEmpty()) {
            restartService({u"--llm-url"_s, u"http://127.0.0.1:%1/v1"_s.arg(unusedPort())});
        } else {
            // A long idle timeout: the answer must not wait for it.
            restartService({u"--llm-idle-timeout"_s, u"600"_s});
            m_model->setRawAnswer(modelAnswer);
        }
        const HttpResult refused = generate(form(u"Go"_s, u"x"_s));
        QCOMPARE(refused.status, 503);
        QCOMPARE(refused.header("X-Orvane-Reason"), reason);
        QVERIFY(refused.header("Content-Type").startsWith("text/plain"));
        QVERIFY(refused.body.size() > 20);
        // The model server's own words (which may echo a key) stay in the service.
        QVERIFY(!refused.body.contains("sk-"));
        QCOMPARE(m_service->request("GET", u"/healthz"_s).status, 200);
    }

    void promptsInTheHistoryCountWithTheirTextAndOnlyTheUsersOwn() {
        QJsonObject preset = standardPrompt();
        preset[u"user_message"_s] = QString(600, QLatin1Char('u'));
        const QByteArray body = QJsonDocument(QJsonObject{{u"preset"_s, preset}}).toJson();
        const qint64 id = m_service->withKey("POST", u"/api/0/presets"_s, m_key, body)
                              .data()[u"id"_s]
                              .toInteger();
        const QJsonObject entry{{u"preset_id"_s, id}, {u"text"_s, u"t"_s}, {u"response"_s, u"r"_s}};
        QCOMPARE(generate(form(u"Go"_s, u"x"_s, {entry})).status, 200);
        QCOMPARE(generate(form(u"Go"_s, u"x"_s, {entry, entry})).status, 413);
        QCOMPARE(generate("command=Go&text=x&history=%5Bnope").status, 400);
        // Another user's prompt is not found, whether as the current turn or in the history.
        const QString otherKey = m_service->createUserWithKey(u"other@example.org"_s);
        QCOMPARE(m_service->generate(otherKey, form(QString::number(id), u"x"_s)).status, 404);
        QCOMPARE(m_service->generate(otherKey, form(u"Go"_s, u"x"_s, {entry})).status, 404);
        // Each refusal came before any model call.
        QCOMPARE(m_model->requests().size(), 1);
        QCOMPARE(generate(form(QString::number(id), u"x"_s)).status, 200);
    }

    void clientLeavingCancelsTheModelRequestAndFreesItsPlace() {
        restartService({u"--max-generations-per-device"_s, u"1"_s});
        m_model->setScript({ScriptedModelServer::text(u"first"_s), ScriptedModelServer::hold(),
                            ScriptedModelServer::text(u"never"_s), ScriptedModelServer::done()});
        QNetworkReply* reply = post(form(u"Go"_s, u"x"_s));
        QTRY_VERIFY_WITH_TIMEOUT(reply->bytesAvailable() > 0, 10000);
        // One answer at a time for this device.
        const HttpResult second = generate(form(u"Go"_s, u"x"_s));
        QCOMPARE(second.status, 429);
        QVERIFY(!second.header("Retry-After").isEmpty());
        QSignalSpy dropped(m_model.get(), &ScriptedModelServer::clientDropped);
        reply->abort();
        QVERIFY(dropped.wait(10000));
        QCOMPARE(m_model->finishedConnections(), 0);
        reply->deleteLater();
        m_model->setScript({ScriptedModelServer::text(u"again"_s), ScriptedModelServer::done()});
        QCOMPARE(generate(form(u"Go"_s, u"x"_s)).body, QByteArray("again"));
    }

private:
    std::unique_ptr<ScriptedModelServer> m_model;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_arguments;
    QString m_key;
};

QTEST_GUILESS_MAIN(TextsTest)
#include "tst_texts.moc"
