#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The desktop client's encoding: letters, digits and "-._~/?" stay, the rest is %XX.
QByteArray clientEncode(const QString& text) {
    QByteArray out;
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if (std::isalnum(c) || QByteArray("-._~/?").contains(byte) || c >= 0x80)
            out += byte;
        else
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

QByteArray commandForm(const QString& command, const QString& text,
                       const QJsonArray& history = {}) {
    return "command=" + clientEncode(command) + "&text=" + clientEncode(text) + "&history=" +
           clientEncode(QString::fromUtf8(QJsonDocument(history).toJson(QJsonDocument::Compact)));
}

QByteArray presetForm(qint64 id, const QString& text, const QJsonArray& history = {}) {
    return "preset_id=" + QByteArray::number(id) + "&text=" + clientEncode(text) + "&history=" +
           clientEncode(QString::fromUtf8(QJsonDocument(history).toJson(QJsonDocument::Compact)));
}

QJsonObject message(const QString& role, const QString& content) {
    return {{u"role"_s, role}, {u"content"_s, content}};
}

/** The "data" member of a JSON answer. */
QJsonValue data(const HttpResult& result) {
    return result.json().object().value(u"data"_s);
}

} // namespace

class TextsTest : public QObject {
    Q_OBJECT

private:
    /** Starts a generation the way the application does: no Content-Type, bearer key. */
    QNetworkReply* post(const QByteArray& form) {
        QNetworkRequest request(m_service->url(u"/api/0/texts"_s));
        request.setRawHeader("Authorization", "Bearer " + m_key.toLatin1());
        return m_service->network().post(request, form);
    }

    HttpResult generate(const QByteArray& form) {
        return m_service->request("POST", u"/api/0/texts"_s, form,
                                  {{"Authorization", "Bearer " + m_key.toLatin1()}});
    }

    QJsonObject standardPrompt() {
        return data(m_service->withKey("GET", u"/api/0/presets"_s, m_key))
            .toArray()
            .first()
            .toObject();
    }

private Q_SLOTS:
    void init() {
        m_model = std::make_unique<ScriptedModelServer>();
        m_service = std::make_unique<ServiceProcess>(
            QStringList{u"--llm-url"_s, m_model->baseUrl(), u"--llm-model"_s, u"scripted-model"_s,
                        u"--llm-idle-timeout"_s, u"2"_s, u"--max-input-chars"_s, u"1000"_s});
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_key = m_service->createUserWithKey(u"writer@example.org"_s);
        m_model->setScript({ScriptedModelServer::text(u"Fine."_s), ScriptedModelServer::done()});
    }

    void modelReceivesPromptCommandAndHistory() {
        const QJsonObject prompt = standardPrompt();
        const qint64 id = prompt.value(u"id"_s).toInteger();
        const QString text = u"Ths & that = 1+1, café\nline two"_s;
        const HttpResult answer = generate(presetForm(id, text));
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
        QCOMPARE(generate(commandForm(u"Now in French"_s, u"second answer"_s, history)).status,
                 200);
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
        QVERIFY(second.value(u"temperature"_s).isDouble());
    }

    void chunksArriveBeforeTheModelFinishesWithoutReasoning() {
        // Reasoning goes, even split across events; the answer still streams.
        m_model->setScript(
            {ScriptedModelServer::text(u"<thi"_s), ScriptedModelServer::text(u"nk>plan</th"_s),
             ScriptedModelServer::text(u"ink>\n\nHel"_s), ScriptedModelServer::hold(),
             ScriptedModelServer::text(u"lo, "_s), ScriptedModelServer::pause(50),
             ScriptedModelServer::text(u"world"_s), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(u"Greet"_s, u"x"_s));
        QSignalSpy readable(reply, &QNetworkReply::readyRead);
        QVERIFY(readable.wait(10000));
        QCOMPARE(reply->readAll(), QByteArray("Hel"));
        QCOMPARE(m_model->finishedConnections(), 0);
        QVERIFY(!reply->isFinished());
        m_model->release();
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(reply->isFinished() || finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("lo, world"));
        reply->deleteLater();
    }

    void refusalsComeBeforeAnyModelCall_data() {
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<int>("status");
        const QJsonArray longHistory{QJsonObject{{u"command"_s, u"c"_s},
                                                 {u"text"_s, QString(600, QLatin1Char('t'))},
                                                 {u"response"_s, QString(600, QLatin1Char('r'))}}};
        QTest::newRow("too long") << commandForm(u"Go"_s, QString(1001, QLatin1Char('x'))) << 413;
        QTest::newRow("too long with history") << commandForm(u"Go"_s, u"x"_s, longHistory) << 413;
        QTest::newRow("unknown prompt") << presetForm(99999, u"x"_s) << 404;
        QTest::newRow("missing text") << QByteArray("command=Go&history=%5B%5D") << 400;
        QTest::newRow("malformed history")
            << QByteArray("command=Go&text=x&history=%5Bnope") << 400;
        QTest::newRow("broken escape") << QByteArray("command=Go&text=%G1&history=%5B%5D") << 400;
    }

    void refusalsComeBeforeAnyModelCall() {
        QFETCH(QByteArray, form);
        QFETCH(int, status);
        const HttpResult answer = generate(form);
        QCOMPARE(answer.status, status);
        QVERIFY(!answer.body.isEmpty());
        QVERIFY(m_model->requests().isEmpty());
    }

    void anotherUsersPromptIsNotFound() {
        const QString otherKey = m_service->createUserWithKey(u"other@example.org"_s);
        QJsonObject preset = standardPrompt();
        preset[u"name"_s] = u"Private"_s;
        const QByteArray body = QJsonDocument(QJsonObject{{u"preset"_s, preset}}).toJson();
        const qint64 id = data(m_service->withKey("POST", u"/api/0/presets"_s, otherKey, body))
                              .toObject()
                              .value(u"id"_s)
                              .toInteger();
        QVERIFY(id > 0);
        QCOMPARE(generate(presetForm(id, u"x"_s)).status, 404);
        QCOMPARE(m_service
                     ->request("POST", u"/api/0/texts"_s, presetForm(id, u"x"_s),
                               {{"Authorization", "Bearer " + otherKey.toLatin1()}})
                     .status,
                 200);
    }

    void unavailableModelIs503WithAReason() {
        m_model->setFailure(500, "{\"error\":{\"message\":\"model not loaded\"}}");
        const HttpResult failing = generate(commandForm(u"Go"_s, u"x"_s));
        QCOMPARE(failing.status, 503);
        QVERIFY(failing.body.contains("model not loaded"));
        QVERIFY(failing.header("Content-Type").startsWith("text/plain"));

        m_model.reset(); // nothing listens at the configured URL any more
        QCOMPARE(generate(commandForm(u"Go"_s, u"x"_s)).status, 503);
        QCOMPARE(m_service->request("GET", u"/healthz"_s).status, 200);
    }

    void modelFailingMidAnswerFailsTheTransfer_data() {
        QTest::addColumn<QList<ScriptedModelServer::Step>>("script");
        QTest::newRow("closes") << QList<ScriptedModelServer::Step>{
            ScriptedModelServer::text(u"partial"_s), ScriptedModelServer::closeConnection()};
        QTest::newRow("stalls") << QList<ScriptedModelServer::Step>{
            ScriptedModelServer::text(u"partial"_s), ScriptedModelServer::hold()};
        QTest::newRow("ends without finishing")
            << QList<ScriptedModelServer::Step>{ScriptedModelServer::text(u"partial"_s)};
    }

    void modelFailingMidAnswerFailsTheTransfer() {
        QFETCH(QList<ScriptedModelServer::Step>, script);
        m_model->setScript(script);
        QNetworkReply* reply = post(commandForm(u"Go"_s, u"x"_s));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(15000));
        QVERIFY(reply->error() != QNetworkReply::NoError);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        reply->deleteLater();
    }

    void clientLeavingCancelsTheModelRequest() {
        m_model->setScript({ScriptedModelServer::text(u"first"_s), ScriptedModelServer::hold(),
                            ScriptedModelServer::text(u"never"_s), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(u"Go"_s, u"x"_s));
        QSignalSpy readable(reply, &QNetworkReply::readyRead);
        QVERIFY(readable.wait(10000));
        QSignalSpy dropped(m_model.get(), &ScriptedModelServer::clientDropped);
        reply->abort();
        QVERIFY(dropped.wait(10000));
        QCOMPARE(m_model->finishedConnections(), 0);
        reply->deleteLater();
    }

    void runningAnswerEndsBeforeShutdown() {
        m_model->setScript({ScriptedModelServer::text(u"still "_s), ScriptedModelServer::hold(),
                            ScriptedModelServer::text(u"here"_s), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(u"Go"_s, u"x"_s));
        QSignalSpy readable(reply, &QNetworkReply::readyRead);
        QVERIFY(readable.wait(10000));
        m_service->requestStop();
        QTest::qWait(200);
        QVERIFY(!reply->isFinished());
        m_model->release();
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(reply->isFinished() || finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("still here"));
        QCOMPARE(m_service->waitForExit(10000), 0);
        reply->deleteLater();
    }

private:
    std::unique_ptr<ScriptedModelServer> m_model;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_key;
};

QTEST_GUILESS_MAIN(TextsTest)
#include "tst_texts.moc"
