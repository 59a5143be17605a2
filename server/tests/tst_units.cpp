#include "server/formbody.h"
#include "server/generationrequest.h"
#include "server/openaibackend.h"
#include "server/serverconfig.h"
#include "server/thinkfilter.h"

#include <QTest>

class UnitsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thinkBlocksVanishWhereverPiecesSplit_data() {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("visible");
        QTest::newRow("whole") << QStringList{QStringLiteral("<think>plan</think>\n\nHello")}
                               << QStringLiteral("Hello");
        QTest::newRow("open tag split")
            << QStringList{QStringLiteral("<th"), QStringLiteral("ink>x</think>Hi")}
            << QStringLiteral("Hi");
        QTest::newRow("close tag split by char")
            << QStringList{QStringLiteral("<think>a<"), QStringLiteral("/"), QStringLiteral("thi"),
                           QStringLiteral("nk"),        QStringLiteral(">"), QStringLiteral(" B")}
            << QStringLiteral("B");
        QTest::newRow("text around")
            << QStringList{QStringLiteral("A <think>x</think> B")} << QStringLiteral("A B");
        QTest::newRow("look-alike kept")
            << QStringList{QStringLiteral("a <thin"), QStringLiteral("g> b <")}
            << QStringLiteral("a <thing> b <");
        QTest::newRow("unclosed dropped")
            << QStringList{QStringLiteral("ok<think>never ends")} << QStringLiteral("ok");
    }

    void thinkBlocksVanishWhereverPiecesSplit() {
        QFETCH(QStringList, pieces);
        QFETCH(QString, visible);
        ThinkFilterUnderTest filter;
        QString out;
        for (const QString& piece : pieces)
            out += filter.feed(piece);
        QCOMPARE(out + filter.finish(), visible);
    }

    void formBodyDecodesLikeTheClientEncodes() {
        const auto fields = OrvaneServer::parseFormBody(
            "command=Fix%20this&text=a%26b%3Dc%2Bd%0Aé/?&history=%5B%5D");
        QVERIFY(fields);
        QCOMPARE(fields->value(QStringLiteral("text")), QStringLiteral("a&b=c+d\né/?"));
        QCOMPARE(fields->value(QStringLiteral("command")), QStringLiteral("Fix this"));
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

    void eventParserFollowsServerSentEvents() {
        OrvaneServer::ChatEventParser parser;
        QStringList pieces;
        QCOMPARE(parser.feed("data: {\"choices\":[{\"delta\":{\"role\":\"assistant\"}}]}\r\n\r\n: "
                             "keep-alive\n\nda",
                             &pieces),
                 OrvaneServer::ChatEventParser::Outcome::More);
        QCOMPARE(
            parser.feed(
                "ta: {\"choices\":[{\"delta\":{\"content\":\"Hi\"},\"finish_reason\":null}]}\n\n",
                &pieces),
            OrvaneServer::ChatEventParser::Outcome::More);
        QVERIFY(!parser.sawFinishReason());
        QCOMPARE(
            parser.feed("data: {\"choices\":[{\"delta\":{},\"finish_reason\":\"stop\"}]}\n\ndata: "
                        "[DONE]\n\n",
                        &pieces),
            OrvaneServer::ChatEventParser::Outcome::Done);
        QCOMPARE(pieces, QStringList{QStringLiteral("Hi")});
        QVERIFY(parser.sawFinishReason());
        OrvaneServer::ChatEventParser failing;
        QCOMPARE(failing.feed("data: {\"error\":{\"message\":\"overloaded\"}}\n", &pieces),
                 OrvaneServer::ChatEventParser::Outcome::Error);
        QCOMPARE(failing.errorMessage(), QStringLiteral("overloaded"));
    }

    void configurationFromOptionsAndEnvironment() {
        const QHash<QString, QString> environment{
            {QStringLiteral("ORVANE_LISTEN"), QStringLiteral("0.0.0.0:9000")},
            {QStringLiteral("ORVANE_LLM_MODEL"), QStringLiteral("llama3")},
            {QStringLiteral("ORVANE_LLM_API_KEY"), QStringLiteral("sk-env")}};
        const auto parsed =
            OrvaneServer::parseConfig({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:7000"),
                                       QStringLiteral("--llm-url=http://127.0.0.1:11434/v1")},
                                      environment);
        QVERIFY(parsed.config);
        QCOMPARE(parsed.config->listenPort, 7000);
        QCOMPARE(parsed.config->llmModel, QStringLiteral("llama3"));
        QCOMPARE(parsed.config->llmApiKey, QStringLiteral("sk-env"));
        QVERIFY(parsed.config->databaseUrl.startsWith(QLatin1String("sqlite:")));

        for (const QStringList& bad :
             {QStringList{QStringLiteral("--listen"), QStringLiteral("nowhere")},
              QStringList{QStringLiteral("--llm-url"), QStringLiteral("ftp://x/")},
              QStringList{QStringLiteral("--database"), QStringLiteral("mysql://x")},
              QStringList{QStringLiteral("--max-input-chars"), QStringLiteral("-3")},
              QStringList{QStringLiteral("--tls-cert"), QStringLiteral("a.pem")},
              QStringList{QStringLiteral("--frobnicate")},
              QStringList{QStringLiteral("--llm-url")}}) {
            const auto refused = OrvaneServer::parseConfig(bad, {});
            QVERIFY2(!refused.config && refused.exitCode != 0 && !refused.message.isEmpty(),
                     qPrintable(bad.join(u' ')));
        }
        QCOMPARE(OrvaneServer::parseConfig({QStringLiteral("--help")}, {}).exitCode, 0);
    }

private:
    using ThinkFilterUnderTest = OrvaneServer::ThinkFilter;
};

QTEST_GUILESS_MAIN(UnitsTest)
#include "tst_units.moc"
