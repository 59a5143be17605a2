#include "scriptedserver.h"
#include "service/textsservice.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

class RecordingTextsDelegate final : public TextsServiceDelegate {
public:
    void didReceiveText(const QString& text) override { record(u"text:" + text); }
    void didFinish() override { record(u"finish"_s); }
    void didFailPromptTooLong() override { record(u"tooLong"_s); }
    void didFailGeneric() override { record(u"generic"_s); }
    void didReceiveFailureReason(const QString& reason) override { record(u"reason:" + reason); }

    void record(const QString& event) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
        events.append(event);
    }

    QStringList events;
    bool offMainThread = false;
};

} // namespace

class TestTextsService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<ScriptedServer>(true); // answers streamed by the test
        m_delegate.events.clear();
        m_delegate.offMainThread = false;
    }
    void cleanup() { m_server.reset(); }

    void presetRequestOnTheWire() {
        TextsService service(u"dk-7"_s, m_server->base());
        const QList<RequestData> exchanges{
            RequestData{7, std::nullopt, u"first text"_s, u"first answer"_s},
            RequestData{std::nullopt, u"make it shorter"_s, u"second & text"_s, u"r\u00e9ponse"_s}};
        service.sendPreset(7, u"Hello w\u00f6rld & you=1+1?\n/x"_s, exchanges, &m_delegate);
        QVERIFY(m_server->waitForRequests(1));

        QCOMPARE(m_server->requestLine(), "POST /api/0/texts HTTP/1.1");
        QCOMPARE(m_server->header("Authorization"), "Bearer dk-7");
        QVERIFY(m_server->header("Content-Type").isNull());

        // Letters of any script stay; other characters become their UTF-8 bytes as %XX.
        QCOMPARE(
            textsPercentEncode(u"!\"#$%'()*,:;<>@[\\]^`{|}\u20ac"_s),
            u"%21%22%23%24%25%27%28%29%2A%2C%3A%3B%3C%3E%40%5B%5C%5D%5E%60%7B%7C%7D%E2%82%AC"_s);
        const QByteArray body = m_server->requestBody();
        const QByteArray expectedText = u"Hello%20w\u00f6rld%20%26%20you%3D1%2B1?%0A/x"_s.toUtf8();
        const QByteArray prefix = "preset_id=7&text=" + expectedText + "&history=";
        QVERIFY2(body.startsWith(prefix), body.constData());
        const QByteArray history = body.mid(prefix.size());
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromPercentEncoding(history)).array(),
                 (QJsonArray{QJsonObject{{u"preset_id"_s, 7},
                                         {u"text"_s, u"first text"_s},
                                         {u"response"_s, u"first answer"_s}},
                             QJsonObject{{u"command"_s, u"make it shorter"_s},
                                         {u"text"_s, u"second & text"_s},
                                         {u"response"_s, u"r\u00e9ponse"_s}}}));
    }

    // Each piece is delivered before the next one is even written; a character split
    // across chunks arrives whole, once.
    void chunksArriveAsTheyComeWithCharactersWhole() {
        TextsService service(u"tok"_s, m_server->base());
        QVERIFY(startStream(service));
        const QList<std::pair<QByteArray, QString>> pieces{{"The ", u"The "_s},
                                                           {"caf\xC3", u"caf"_s},
                                                           {"\xA9 \xF0\x9F", u"\u00e9 "_s},
                                                           {"\x98", QString()},
                                                           {"\x80!", u"\U0001F600!"_s}};
        QStringList expected;
        for (const auto& [chunk, text] : pieces) {
            m_server->writeChunk(chunk);
            if (!text.isEmpty())
                expected.append(u"text:" + text);
            QTRY_COMPARE(m_delegate.events, expected);
        }
        m_server->finish();
        expected.append(u"finish"_s);
        QVERIFY(settlesAt(expected));
        QVERIFY(!m_delegate.offMainThread);
    }

    void cancelMidStream() {
        TextsService service(u"tok"_s, m_server->base());
        QVERIFY(startStream(service));
        m_server->writeChunk("one ");
        QTRY_COMPARE(m_delegate.events, QStringList{u"text:one "_s});
        service.cancel();
        QCOMPARE(m_delegate.events.size(), 1); // reported later, on the main queue
        m_server->writeChunk("three");
        QVERIFY(settlesAt({u"text:one "_s, u"generic"_s, u"finish"_s}));
    }

    // How an answer, written as it is and closed in order, ends for the delegate.
    void answers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("events");
        const QByteArray refusal = "HTTP/1.1 503 Unavailable\r\nContent-Length: 5\r\n";
        QTest::newRow("whole") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
                               << QStringList{u"text:ok"_s, u"finish"_s};
        QTest::newRow("closed without the last chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "7\r\npartial\r\n")
            << QStringList{u"text:partial"_s, u"generic"_s, u"finish"_s};
        QTest::newRow("413") << QByteArray(
                                    "HTTP/1.1 413 Too Large\r\nContent-Length: 4\r\n\r\nlong")
                             << QStringList{u"tooLong"_s};
        // The body of a failure is not read as an answer.
        QTest::newRow("500") << QByteArray("HTTP/1.1 500 Error\r\nContent-Length: 2\r\n\r\nno")
                             << QStringList{u"generic"_s, u"finish"_s};
        QTest::newRow("classified refusal")
            << refusal + "X-Orvane-Reason: model-not-found\r\n\r\nnope\n"
            << QStringList{u"reason:model-not-found"_s, u"generic"_s, u"finish"_s};
        QTest::newRow("reason of another shape")
            << refusal + "X-Orvane-Reason: Model_Not <b>found</b>\r\n\r\nnope\n"
            << QStringList{u"generic"_s, u"finish"_s};
    }
    void answers() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, events);
        TextsService service(u"tok"_s, m_server->base());
        service.sendCommand(u"c"_s, u"x"_s, {}, &m_delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->writeAndClose(answer);
        QVERIFY2(settlesAt(events), qPrintable(m_delegate.events.join(u' ')));
    }

    void nothingReachesTheDelegateAfterTheServiceIsGone() {
        {
            TextsService service(u"tok"_s, m_server->base());
            QVERIFY(startStream(service));
            m_server->writeChunk("late");
            QTest::qWait(20);
        }
        m_server->finish();
        QTest::qWait(100);
        QVERIFY(m_delegate.events.size() <= 1);
        QVERIFY(!m_delegate.events.contains(u"finish"_s));
    }

private:
    /** The delegate heard exactly these events, and nothing more follows. */
    bool settlesAt(const QStringList& expected) {
        if (!QTest::qWaitFor([&] { return m_delegate.events == expected; }, 5000))
            return false;
        QTest::qWait(50);
        return m_delegate.events == expected;
    }
    /** Sends a prompt request and opens a chunked answer to it. */
    bool startStream(TextsService& service) {
        service.sendPreset(1, u"x"_s, {}, &m_delegate);
        if (!m_server->waitForRequests(1))
            return false;
        m_server->beginChunked();
        return true;
    }

    std::unique_ptr<ScriptedServer> m_server;
    RecordingTextsDelegate m_delegate;
};

QTEST_GUILESS_MAIN(TestTextsService)
#include "tst_textsservice.moc"
