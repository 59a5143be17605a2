#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

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
    return {{QStringLiteral("role"), role}, {QStringLiteral("content"), content}};
}

} // namespace

class TextsTest : public QObject {
    Q_OBJECT

private:
    /** Starts a generation the way the application does: no Content-Type, bearer key. */
    QNetworkReply* post(const QByteArray& form) {
        QNetworkRequest request(m_service->url(QStringLiteral("/api/0/texts")));
        request.setRawHeader("Authorization", "Bearer " + m_key.toLatin1());
        return m_service->network().post(request, form);
    }

    HttpResult generate(const QByteArray& form) {
        return m_service->request("POST", QStringLiteral("/api/0/texts"), form,
                                  {{"Authorization", "Bearer " + m_key.toLatin1()}});
    }

    QJsonObject standardPrompt() {
        return m_service->withKey("GET", QStringLiteral("/api/0/presets"), m_key)
            .json()
            .object()
            .value(QStringLiteral("data"))
            .toArray()
            .first()
            .toObject();
    }

private Q_SLOTS:
    void init() {
        m_model = std::make_unique<ScriptedModelServer>();
        m_service = std::make_unique<ServiceProcess>(QStringList{
            QStringLiteral("--llm-url"), m_model->baseUrl(), QStringLiteral("--llm-model"),
            QStringLiteral("scripted-model"), QStringLiteral("--llm-idle-timeout"),
            QStringLiteral("2"), QStringLiteral("--max-input-chars"), QStringLiteral("1000")});
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_key = m_service->createUserWithKey(QStringLiteral("writer@example.org"));
        m_model->setScript(
            {ScriptedModelServer::text(QStringLiteral("Fine.")), ScriptedModelServer::done()});
    }

    void modelReceivesPromptCommandAndHistory() {
        const QJsonObject prompt = standardPrompt();
        const qint64 id = prompt.value(QStringLiteral("id")).toInteger();
        const QString text = QStringLiteral("Ths & that = 1+1, café\nline two");
        const HttpResult answer = generate(presetForm(id, text));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=utf-8"));
        QCOMPARE(answer.body, QByteArray("Fine."));
        QCOMPARE(m_model->requests().size(), 1);
        const QJsonObject first = m_model->requests().at(0);
        QCOMPARE(first.value(QStringLiteral("model")).toString(), QStringLiteral("scripted-model"));
        QCOMPARE(first.value(QStringLiteral("stream")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("temperature")).toDouble(),
                 prompt.value(QStringLiteral("temperature")).toDouble());
        QCOMPARE(first.value(QStringLiteral("messages")).toArray(),
                 QJsonArray({message(QStringLiteral("system"),
                                     prompt.value(QStringLiteral("system_message")).toString()),
                             message(QStringLiteral("user"),
                                     prompt.value(QStringLiteral("user_message")).toString() +
                                         QStringLiteral("\n\n") + text)}));

        const QJsonArray history{
            QJsonObject{{QStringLiteral("preset_id"), id},
                        {QStringLiteral("text"), QStringLiteral("first text")},
                        {QStringLiteral("response"), QStringLiteral("first answer")}},
            QJsonObject{{QStringLiteral("command"), QStringLiteral("Make it rhyme")},
                        {QStringLiteral("text"), QStringLiteral("first answer")},
                        {QStringLiteral("response"), QStringLiteral("second answer")}}};
        QCOMPARE(generate(commandForm(QStringLiteral("Now in French"),
                                      QStringLiteral("second answer"), history))
                     .status,
                 200);
        const QJsonObject second = m_model->requests().at(1);
        const QJsonArray messages = second.value(QStringLiteral("messages")).toArray();
        QCOMPARE(messages.size(), 6);
        QCOMPARE(messages.at(0).toObject().value(QStringLiteral("role")).toString(),
                 QStringLiteral("system"));
        QVERIFY(messages.at(0).toObject().value(QStringLiteral("content")).toString().size() > 20);
        QCOMPARE(messages.at(1).toObject(),
                 message(QStringLiteral("user"),
                         prompt.value(QStringLiteral("user_message")).toString() +
                             QStringLiteral("\n\nfirst text")));
        QCOMPARE(messages.at(2).toObject(),
                 message(QStringLiteral("assistant"), QStringLiteral("first answer")));
        QCOMPARE(messages.at(3).toObject(),
                 message(QStringLiteral("user"), QStringLiteral("Make it rhyme\n\nfirst answer")));
        QCOMPARE(messages.at(4).toObject(),
                 message(QStringLiteral("assistant"), QStringLiteral("second answer")));
        QCOMPARE(messages.at(5).toObject(),
                 message(QStringLiteral("user"), QStringLiteral("Now in French\n\nsecond answer")));
        QVERIFY(second.value(QStringLiteral("temperature")).isDouble());
    }

    void chunksArriveBeforeTheModelFinishes() {
        m_model->setScript(
            {ScriptedModelServer::text(QStringLiteral("Hel")), ScriptedModelServer::hold(),
             ScriptedModelServer::text(QStringLiteral("lo, ")), ScriptedModelServer::pause(50),
             ScriptedModelServer::text(QStringLiteral("world")), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(QStringLiteral("Greet"), QStringLiteral("x")));
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

    void reasoningSplitAcrossEventsIsRemoved() {
        m_model->setScript({ScriptedModelServer::text(QStringLiteral("<thi")),
                            ScriptedModelServer::text(QStringLiteral("nk>The user wants </th")),
                            ScriptedModelServer::text(QStringLiteral("ink>\n\nAnswer")),
                            ScriptedModelServer::text(QStringLiteral(" here. <")),
                            ScriptedModelServer::text(QStringLiteral("3")),
                            ScriptedModelServer::done()});
        const HttpResult answer = generate(commandForm(QStringLiteral("Go"), QStringLiteral("x")));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, QByteArray("Answer here. <3"));
    }

    void refusalsComeBeforeAnyModelCall_data() {
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<int>("status");
        const QJsonArray longHistory{
            QJsonObject{{QStringLiteral("command"), QStringLiteral("c")},
                        {QStringLiteral("text"), QString(600, QLatin1Char('t'))},
                        {QStringLiteral("response"), QString(600, QLatin1Char('r'))}}};
        QTest::newRow("too long") << commandForm(QStringLiteral("Go"),
                                                 QString(1001, QLatin1Char('x')))
                                  << 413;
        QTest::newRow("too long with history")
            << commandForm(QStringLiteral("Go"), QStringLiteral("x"), longHistory) << 413;
        QTest::newRow("unknown prompt") << presetForm(99999, QStringLiteral("x")) << 404;
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
        const QString otherKey = m_service->createUserWithKey(QStringLiteral("other@example.org"));
        QJsonObject preset = standardPrompt();
        preset[QStringLiteral("name")] = QStringLiteral("Private");
        const qint64 id =
            m_service
                ->withKey("POST", QStringLiteral("/api/0/presets"), otherKey,
                          QJsonDocument(QJsonObject{{QStringLiteral("preset"), preset}}).toJson())
                .json()
                .object()
                .value(QStringLiteral("data"))
                .toObject()
                .value(QStringLiteral("id"))
                .toInteger();
        QVERIFY(id > 0);
        QCOMPARE(generate(presetForm(id, QStringLiteral("x"))).status, 404);
        QCOMPARE(m_service
                     ->request("POST", QStringLiteral("/api/0/texts"),
                               presetForm(id, QStringLiteral("x")),
                               {{"Authorization", "Bearer " + otherKey.toLatin1()}})
                     .status,
                 200);
    }

    void unavailableModelIs503WithAReason() {
        m_model->setFailure(500, "{\"error\":{\"message\":\"model not loaded\"}}");
        const HttpResult failing = generate(commandForm(QStringLiteral("Go"), QStringLiteral("x")));
        QCOMPARE(failing.status, 503);
        QVERIFY(failing.body.contains("model not loaded"));
        QVERIFY(failing.header("Content-Type").startsWith("text/plain"));

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 deadPort = closed.serverPort();
        closed.close();
        for (const QStringList& arguments :
             {QStringList{}, QStringList{QStringLiteral("--llm-url"),
                                         QStringLiteral("http://127.0.0.1:%1/v1").arg(deadPort),
                                         QStringLiteral("--llm-model"), QStringLiteral("m")}}) {
            ServiceProcess service(arguments);
            QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
            const QString key = service.createUserWithKey(QStringLiteral("a@example.org"));
            const HttpResult answer =
                service.request("POST", QStringLiteral("/api/0/texts"),
                                commandForm(QStringLiteral("Go"), QStringLiteral("x")),
                                {{"Authorization", "Bearer " + key.toLatin1()}});
            QCOMPARE(answer.status, 503);
            QVERIFY(answer.body.size() > 10);
            QCOMPARE(service.request("GET", QStringLiteral("/healthz")).status, 200);
        }
    }

    void modelFailingMidAnswerFailsTheTransfer_data() {
        QTest::addColumn<QList<ScriptedModelServer::Step>>("script");
        QTest::newRow("closes") << QList<ScriptedModelServer::Step>{
            ScriptedModelServer::text(QStringLiteral("partial")),
            ScriptedModelServer::closeConnection()};
        QTest::newRow("stalls") << QList<ScriptedModelServer::Step>{
            ScriptedModelServer::text(QStringLiteral("partial")), ScriptedModelServer::hold()};
        QTest::newRow("ends without finishing") << QList<ScriptedModelServer::Step>{
            ScriptedModelServer::text(QStringLiteral("partial"))};
    }

    void modelFailingMidAnswerFailsTheTransfer() {
        QFETCH(QList<ScriptedModelServer::Step>, script);
        m_model->setScript(script);
        QNetworkReply* reply = post(commandForm(QStringLiteral("Go"), QStringLiteral("x")));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(15000));
        QVERIFY(reply->error() != QNetworkReply::NoError);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        reply->deleteLater();
    }

    void clientLeavingCancelsTheModelRequest() {
        m_model->setScript(
            {ScriptedModelServer::text(QStringLiteral("first")), ScriptedModelServer::hold(),
             ScriptedModelServer::text(QStringLiteral("never")), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(QStringLiteral("Go"), QStringLiteral("x")));
        QSignalSpy readable(reply, &QNetworkReply::readyRead);
        QVERIFY(readable.wait(10000));
        QSignalSpy dropped(m_model.get(), &ScriptedModelServer::clientDropped);
        reply->abort();
        QVERIFY(dropped.wait(10000));
        QCOMPARE(m_model->finishedConnections(), 0);
        reply->deleteLater();
    }

    void runningAnswerEndsBeforeShutdown() {
        m_model->setScript(
            {ScriptedModelServer::text(QStringLiteral("still ")), ScriptedModelServer::hold(),
             ScriptedModelServer::text(QStringLiteral("here")), ScriptedModelServer::done()});
        QNetworkReply* reply = post(commandForm(QStringLiteral("Go"), QStringLiteral("x")));
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
