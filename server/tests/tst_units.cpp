#include "server/formbody.h"
#include "server/generationrequest.h"
#include "server/openaibackend.h"
#include "server/ratelimiter.h"
#include "server/serverconfig.h"
#include "server/thinkfilter.h"

#include <QTest>

using namespace Qt::StringLiterals;

class UnitsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thinkBlocksVanishWhereverPiecesSplit_data() {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<bool>("leading");
        QTest::addColumn<QString>("visible");
        const auto row = [](const char* name, const QStringList& pieces, const QString& visible,
                            bool leading = false) {
            QTest::newRow(name) << pieces << leading << visible;
        };
        row("whole", {u"<think>plan</think>\n\nHello"_s}, u"Hello"_s);
        row("open tag split", {u"<th"_s, u"ink>x</think>Hi"_s}, u"Hi"_s);
        row("close tag split by char", {u"<think>a<"_s, u"/"_s, u"thi"_s, u"nk"_s, u">"_s, u" B"_s},
            u"B"_s);
        row("text around", {u"A <think>x</think> B"_s}, u"A B"_s);
        row("look-alike kept", {u"a <thin"_s, u"g> b <"_s}, u"a <thing> b <"_s);
        row("unclosed is text", {u"ok <think>never"_s, u" ends"_s}, u"ok <think>never ends"_s);
        row("lone close tag is text", {u"a</think>b"_s}, u"a</think>b"_s);
        row("leading reasoning", {u"plan it</thi"_s, u"nk>\n\nHi"_s}, u"Hi"_s, true);
        row("leading, tagged after all", {u"<think>x</think>Hi"_s}, u"Hi"_s, true);
        row("leading, no tag at all", {u"just"_s, u" text"_s}, u"just text"_s, true);
    }

    void thinkBlocksVanishWhereverPiecesSplit() {
        QFETCH(QStringList, pieces);
        QFETCH(bool, leading);
        QFETCH(QString, visible);
        ThinkFilterUnderTest filter(leading);
        QString out;
        for (const QString& piece : pieces)
            out += filter.feed(piece);
        QCOMPARE(out + filter.finish(), visible);
    }

    void formBodyDecodesLikeTheClientEncodes() {
        const auto fields = OrvaneServer::parseFormBody(
            "command=Fix%20this&text=a%26b%3Dc%2Bd%0Aé/?&history=%5B%5D");
        QVERIFY(fields);
        QCOMPARE(fields->value(u"text"_s), u"a&b=c+d\né/?"_s);
        QCOMPARE(fields->value(u"command"_s), u"Fix this"_s);
        QVERIFY(!OrvaneServer::parseFormBody("text=%zz"));
        QVERIFY(!OrvaneServer::parseFormBody("text=%C3"));
        QVERIFY(!OrvaneServer::parseFormBody("text=a&text=b"));
    }

    void generationFormRejectsWhatItCannotUse_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("both") << QByteArray("preset_id=1&command=x&text=t&history=%5B%5D");
        QTest::newRow("neither") << QByteArray("text=t&history=%5B%5D");
        QTest::newRow("id not a number") << QByteArray("preset_id=one&text=t&history=%5B%5D");
        QTest::newRow("no text") << QByteArray("command=x&history=%5B%5D");
        QTest::newRow("no history") << QByteArray("command=x&text=t");
        QTest::newRow("history not array") << QByteArray("command=x&text=t&history=%7B%7D");
        QTest::newRow("entry without response") << QByteArray(
            "command=x&text=t&history=%5B%7B%22command%22%3A%22c%22%2C%22text%22%3A%22t%22%7D%5D");
    }

    void generationFormRejectsWhatItCannotUse() {
        QFETCH(QByteArray, body);
        QString error;
        QVERIFY(!OrvaneServer::GenerationInput::fromForm(body, &error));
        QVERIFY(!error.isEmpty());
    }

    void failedSignInsWaitLongerEachTimeUpToTheCap() {
        OrvaneServer::BackoffLimiter limiter(3, 60, 15 * 60 * 1000);
        QList<qint64> waits;
        for (int failure = 0; failure < 11; ++failure) {
            waits.append(limiter.retryAfterSeconds(u"a@example.org"_s));
            limiter.recordFailure(u"a@example.org"_s);
        }
        QCOMPARE(waits, (QList<qint64>{0, 0, 0, 1, 2, 4, 8, 16, 32, 60, 60}));
        QCOMPARE(limiter.retryAfterSeconds(u"b@example.org"_s), 0);
        limiter.reset(u"a@example.org"_s);
        QCOMPARE(limiter.retryAfterSeconds(u"a@example.org"_s), 0);
    }

    void configurationFromOptionsAndEnvironment() {
        const QHash<QString, QString> environment{{u"ORVANE_LISTEN"_s, u"0.0.0.0:9000"_s},
                                                  {u"ORVANE_LLM_MODEL"_s, u"llama3"_s},
                                                  {u"ORVANE_LLM_API_KEY"_s, u"sk-env"_s}};
        const auto parsed = OrvaneServer::parseConfig(
            {u"--listen"_s, u"127.0.0.1:7000"_s, u"--llm-url=http://127.0.0.1:11434/v1"_s},
            environment);
        QVERIFY(parsed.config);
        QCOMPARE(parsed.config->listenPort, 7000);
        QCOMPARE(parsed.config->llmModel, u"llama3"_s);
        QCOMPARE(parsed.config->llmApiKey, u"sk-env"_s);
        QVERIFY(parsed.config->databaseUrl.startsWith(QLatin1String("sqlite:")));
        const auto automatic = OrvaneServer::parseConfig(
            {u"--llm-url"_s, u"auto"_s, u"--llm-candidates"_s, u"localhost:9000, [::1]:9001/api"_s},
            {});
        QVERIFY(automatic.config && automatic.config->llmUrl.isEmpty());
        QCOMPARE(automatic.config->llmCandidates, (QList<QUrl>{QUrl(u"http://localhost:9000/v1"_s),
                                                               QUrl(u"http://[::1]:9001/api"_s)}));

        for (const QStringList& bad :
             {QStringList{u"--listen"_s, u"nowhere"_s}, QStringList{u"--llm-url"_s, u"ftp://x/"_s},
              QStringList{u"--database"_s, u"mysql://x"_s},
              QStringList{u"--max-input-chars"_s, u"-3"_s},
              QStringList{u"--tls-cert"_s, u"a.pem"_s}, QStringList{u"--frobnicate"_s},
              QStringList{u"--llm-url"_s}, QStringList{u"--llm-candidates"_s, u"10.0.0.5:11434"_s},
              QStringList{u"--llm-candidates"_s, u"ollama.example.org:11434"_s},
              QStringList{u"--llm-candidates"_s, u"ftp://127.0.0.1:21/"_s},
              QStringList{u"--llm-candidates"_s, u" , "_s},
              QStringList{u"--llm-temperature"_s, u"hot"_s},
              QStringList{u"--llm-leading-reasoning"_s, u"maybe"_s},
              QStringList{u"--max-history-entries"_s, u"0"_s}}) {
            const auto refused = OrvaneServer::parseConfig(bad, {});
            QVERIFY2(!refused.config && refused.exitCode != 0 && !refused.message.isEmpty(),
                     qPrintable(bad.join(u' ')));
        }
        QCOMPARE(OrvaneServer::parseConfig({u"--help"_s}, {}).exitCode, 0);
        for (const auto& [model, leading] : {std::pair{u"deepseek-r1:7b"_s, true},
                                             {u"qwq-32b"_s, true},
                                             {u"llama3.1"_s, false},
                                             {u"gpt-4o"_s, false}})
            QCOMPARE(OrvaneServer::opensReasoningInPrompt(model), leading);
    }

private:
    using ThinkFilterUnderTest = OrvaneServer::ThinkFilter;
};

QTEST_GUILESS_MAIN(UnitsTest)
#include "tst_units.moc"
