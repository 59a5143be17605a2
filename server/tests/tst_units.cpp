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
        row("look-alike kept", {u"a <thin"_s, u"g> b <"_s}, u"a <thing> b <"_s);
        row("unclosed is text", {u"ok <think>never"_s, u" ends"_s}, u"ok <think>never ends"_s);
        row("lone close tag is text", {u"a</think>b"_s}, u"a</think>b"_s);
        row("leading reasoning", {u"plan it</thi"_s, u"nk>\n\nHi"_s}, u"Hi"_s, true);
        row("leading, no tag at all", {u"just"_s, u" text"_s}, u"just text"_s, true);
    }

    void thinkBlocksVanishWhereverPiecesSplit() {
        QFETCH(QStringList, pieces);
        QFETCH(bool, leading);
        QFETCH(QString, visible);
        OrvaneServer::ThinkFilter filter(leading);
        QString out;
        for (const QString& piece : pieces)
            out += filter.feed(piece);
        QCOMPARE(out + filter.finish(), visible);
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
        const auto automatic = OrvaneServer::parseConfig(
            {u"--llm-url"_s, u"auto"_s, u"--llm-candidates"_s, u"localhost:9000, [::1]:9001/api"_s},
            {});
        QVERIFY(automatic.config && automatic.config->llmUrl.isEmpty());
        QCOMPARE(automatic.config->llmCandidates, (QList<QUrl>{QUrl(u"http://localhost:9000/v1"_s),
                                                               QUrl(u"http://[::1]:9001/api"_s)}));

        // Model servers are only ever looked for on this machine.
        for (const QStringList& bad :
             QList<QStringList>{{u"--llm-candidates"_s, u"10.0.0.5:11434"_s},
                                {u"--llm-candidates"_s, u"ollama.example.org:11434"_s},
                                {u"--frobnicate"_s},
                                {u"--llm-url"_s}}) {
            const auto refused = OrvaneServer::parseConfig(bad, {});
            QVERIFY2(!refused.config && refused.exitCode != 0 && !refused.message.isEmpty(),
                     qPrintable(bad.join(u' ')));
        }
    }
};

QTEST_GUILESS_MAIN(UnitsTest)
#include "tst_units.moc"
