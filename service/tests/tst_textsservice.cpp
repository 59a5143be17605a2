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

    void record(const QString& event) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
        events.append(event);
    }
    [[nodiscard]] QString joinedText() const {
        QString all;
        for (const QString& event : events) {
            if (event.startsWith(u"text:"))
                all += event.mid(5);
        }
        return all;
    }

    QStringList events;
    bool offMainThread = false;
};

} // namespace

class TestTextsService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_server = std::make_unique<ChunkedServer>(); }
    void cleanup() {
        m_server.reset();
        QCoreApplication::setApplicationVersion(QString());
    }

    void percentEncoding_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("ascii-letters-digits") << u"AZaz09"_s << u"AZaz09"_s;
        QTest::newRow("kept-punctuation") << u"-._~/?"_s << u"-._~/?"_s;
        QTest::newRow("form-specials") << u"a&b=c+d e"_s << u"a%26b%3Dc%2Bd%20e"_s;
        QTest::newRow("line-breaks") << u"one\ntwo\r\n"_s << u"one%0Atwo%0D%0A"_s;
        QTest::newRow("other-ascii")
            << u"!\"#$%'()*,:;<>@[\\]^`{|}"_s
            << u"%21%22%23%24%25%27%28%29%2A%2C%3A%3B%3C%3E%40%5B%5C%5D%5E%60%7B%7C%7D"_s;
        QTest::newRow("latin-letter") << u"caf\u00e9"_s << u"caf\u00e9"_s;
        QTest::newRow("cjk") << u"\u65e5\u672c\u8a9e"_s << u"\u65e5\u672c\u8a9e"_s;
        QTest::newRow("combining-mark") << u"e\u0301"_s << u"e\u0301"_s;
        QTest::newRow("arabic-digit") << u"\u0663"_s << u"\u0663"_s;
        QTest::newRow("roman-numeral") << u"\u2163"_s << u"\u2163"_s;
        QTest::newRow("no-break-space") << u"a\u00a0b"_s << u"a%C2%A0b"_s;
        QTest::newRow("euro-sign") << u"\u20ac"_s << u"%E2%82%AC"_s;
        QTest::newRow("emoji") << u"\U0001F600"_s << u"%F0%9F%98%80"_s;
        QTest::newRow("math-letter") << u"\U0001D400"_s << u"\U0001D400"_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void percentEncoding() {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(textsPercentEncode(text), encoded);
    }

    void loneSurrogateCannotBeEncoded() {
        QVERIFY(!textsPercentEncode(QString(QChar(0xD83D))));
        // ...and such a text sends nothing and tells the delegate nothing.
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendCommand(u"c"_s, u"a"_s + QChar(0xDC00), {}, &delegate);
        QTest::qWait(200);
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(delegate.events.isEmpty());
    }

    void presetRequestOnTheWire() {
        QCoreApplication::setApplicationVersion(u"9.9.9"_s);
        TextsService service(u"dk-7"_s, m_server->base());
        RecordingTextsDelegate delegate;
        const QList<RequestData> exchanges{
            RequestData{7, std::nullopt, u"first text"_s, u"first answer"_s},
            RequestData{std::nullopt, u"make it shorter"_s, u"second & text"_s, u"r\u00e9ponse"_s}};
        service.sendPreset(7, u"Hello w\u00f6rld & you=1+1?\n/x"_s, exchanges, &delegate);
        QVERIFY(m_server->waitForRequests(1));

        QCOMPARE(m_server->requestLine(), "POST /api/0/texts HTTP/1.1");
        QCOMPARE(m_server->header("Authorization"), "Bearer dk-7");
        QVERIFY(!m_server->hasHeader("Content-Type"));
        QVERIFY(!m_server->hasHeader("App-Version"));

        const QByteArray body = m_server->requestBody();
        const QByteArray expectedText = u"Hello%20w\u00f6rld%20%26%20you%3D1%2B1?%0A/x"_s.toUtf8();
        const QByteArray prefix = "preset_id=7&text=" + expectedText + "&history=";
        QVERIFY2(body.startsWith(prefix), body.constData());
        const QByteArray history = body.mid(body.indexOf("&history=") + 9);
        QVERIFY(!history.contains('{') && !history.contains('"') && !history.contains(' '));
        QVERIFY(history.startsWith("%5B%7B"));

        const QJsonArray array =
            QJsonDocument::fromJson(QByteArray::fromPercentEncoding(history)).array();
        QCOMPARE(array.size(), 2);
        QCOMPARE(array.at(0).toObject(), (QJsonObject{{u"preset_id"_s, 7},
                                                      {u"text"_s, u"first text"_s},
                                                      {u"response"_s, u"first answer"_s}}));
        QCOMPARE(array.at(1).toObject(), (QJsonObject{{u"command"_s, u"make it shorter"_s},
                                                      {u"text"_s, u"second & text"_s},
                                                      {u"response"_s, u"r\u00e9ponse"_s}}));
        // The whole history field is exactly the percent-encoded JSON text.
        QCOMPARE(history, textsPercentEncode(encodeHistory(exchanges))->toUtf8());
        m_server->beginChunked();
        m_server->finish();
        QTRY_COMPARE(delegate.events, QStringList{u"finish"_s});
    }

    void commandRequestWithEmptyHistory() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendCommand(u"translate to German"_s, u"a/b"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        QCOMPARE(m_server->requestBody(),
                 "command=translate%20to%20German&text=a/b&history=%5B%5D");
        m_server->respond(200, "ok");
        QTRY_COMPARE(delegate.events, (QStringList{u"text:ok"_s, u"finish"_s}));
    }

    void chunksArriveOneByOneAsTheyCome() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendPreset(1, u"x"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->beginChunked();
        const QStringList chunks{u"The "_s, u"quick "_s, u"fox."_s};
        QStringList expected;
        for (const QString& chunk : chunks) {
            m_server->writeChunk(chunk.toUtf8());
            expected.append(u"text:" + chunk);
            // Each chunk is delivered before the next one is even written.
            QTRY_COMPARE(delegate.events, expected);
        }
        m_server->finish();
        expected.append(u"finish"_s);
        QTRY_COMPARE(delegate.events, expected);
        QTest::qWait(50);
        QCOMPARE(delegate.events, expected);
        QVERIFY(!delegate.offMainThread);
    }

    void characterSplitAcrossChunksArrivesWholeOnce() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendPreset(1, u"x"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->beginChunked();
        m_server->writeChunk("caf\xC3");
        QTRY_COMPARE(delegate.events, QStringList{u"text:caf"_s});
        m_server->writeChunk("\xA9 \xF0\x9F");
        QTRY_COMPARE(delegate.events.size(), 2);
        m_server->writeChunk("\x98");
        m_server->writeChunk("\x80!");
        m_server->finish();
        QTRY_COMPARE(delegate.events.last(), u"finish"_s);
        QCOMPARE(delegate.joinedText(), u"caf\u00e9 \U0001F600!"_s);
        QCOMPARE(delegate.events.at(1), u"text:\u00e9 "_s);
        QVERIFY(!delegate.joinedText().contains(QChar::ReplacementCharacter));
    }

    void cancelMidStream() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendPreset(1, u"x"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->beginChunked();
        m_server->writeChunk("one ");
        m_server->writeChunk("two ");
        QTRY_COMPARE(delegate.joinedText(), u"one two "_s);
        const int delivered = static_cast<int>(delegate.events.size());
        QTest::ignoreMessage(QtInfoMsg, "Operation canceled");
        service.cancel();
        QCOMPARE(delegate.events.size(), delivered); // reported later, on the main queue
        m_server->writeChunk("three");
        QTRY_COMPARE(delegate.events.size(), delivered + 2);
        QCOMPARE(delegate.events.mid(delivered), (QStringList{u"generic"_s, u"finish"_s}));
        QTest::qWait(50);
        QCOMPARE(delegate.events.size(), delivered + 2);
    }

    void promptTooLong() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendCommand(u"c"_s, u"very long"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        QTest::ignoreMessage(QtCriticalMsg, "413");
        m_server->respond(413, "too long");
        QTRY_COMPARE(delegate.events, QStringList{u"tooLong"_s});
        QTest::qWait(50);
        QCOMPARE(delegate.events, QStringList{u"tooLong"_s});
    }

    void serverErrorIsGenericAndTheBodyIsNotRead() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendCommand(u"c"_s, u"x"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        QTest::ignoreMessage(QtCriticalMsg, "500");
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u".+"_s));
        m_server->respond(500, "backend exploded");
        QTRY_COMPARE(delegate.events, (QStringList{u"generic"_s, u"finish"_s}));
    }

    void droppedMidStreamIsGeneric() {
        TextsService service(u"tok"_s, m_server->base());
        RecordingTextsDelegate delegate;
        service.sendPreset(1, u"x"_s, {}, &delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->beginChunked();
        m_server->writeChunk("partial");
        QTRY_COMPARE(delegate.events, QStringList{u"text:partial"_s});
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u".+"_s));
        m_server->dropConnection();
        QTRY_COMPARE(delegate.events, (QStringList{u"text:partial"_s, u"generic"_s, u"finish"_s}));
    }

    void nothingReachesTheDelegateAfterTheServiceIsGone() {
        RecordingTextsDelegate delegate;
        {
            TextsService service(u"tok"_s, m_server->base());
            service.sendPreset(1, u"x"_s, {}, &delegate);
            QVERIFY(m_server->waitForRequests(1));
            m_server->beginChunked();
            m_server->writeChunk("late");
            QTest::qWait(20);
        }
        m_server->finish();
        QTest::qWait(100);
        QVERIFY(delegate.events.size() <= 1);
        QVERIFY(!delegate.events.contains(u"finish"_s));
    }

private:
    std::unique_ptr<ChunkedServer> m_server;
};

QTEST_GUILESS_MAIN(TestTextsService)
#include "tst_textsservice.moc"
