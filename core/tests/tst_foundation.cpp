#include "core/jsondecoder.h"
#include "core/log.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Counts how often a message is turned into text.
struct CountingMessage {
    int* conversions;
    operator QString() const {
        ++*conversions;
        return u"counted"_s;
    }
};

QStringList capturedLines;
void captureHandler(QtMsgType, const QMessageLogContext& context, const QString& message) {
    capturedLines << QString::fromLatin1(context.category) + u' ' + message;
}

} // namespace

class FoundationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void disabledDebugIsNeverFormatted() {
        const Log log("foundationTest");
        int conversions = 0;
        log.debug(CountingMessage{&conversions});
        QCOMPARE(conversions, 0);

        QLoggingCategory::setFilterRules(u"org.orvane.Orvane.foundationTest.debug=true"_s);
        capturedLines.clear();
        const auto previous = qInstallMessageHandler(captureHandler);
        log.debug(CountingMessage{&conversions});
        Log("otherArea").info(u"hello"_s);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules({});

        QCOMPARE(conversions, 1);
        QCOMPARE(capturedLines, (QStringList{"org.orvane.Orvane.foundationTest counted",
                                             "org.orvane.Orvane.otherArea hello"}));
    }

    void strictJsonTypes() {
        auto decoder = JsonDecoder::fromJson(
            R"({"i": 3, "big": 9007199254740993, "f": 1.5, "s": "3", "n": null, "b": true})",
            u"T"_s);
        QCOMPARE(decoder.integer(u"i"_s), 3);
        QCOMPARE(decoder.integer(u"big"_s), Q_INT64_C(9007199254740993));
        QVERIFY(!decoder.optionalString(u"n"_s));
        QVERIFY(!decoder.optionalString(u"absent"_s));
        QVERIFY(decoder.boolean(u"b"_s));
        QVERIFY(decoder.ok());

        for (const char* key : {"f", "s", "n", "absent", "b"}) {
            auto again =
                JsonDecoder::fromJson(R"({"f": 1.5, "s": "3", "n": null, "b": true})", u"T"_s);
            again.integer(QString::fromLatin1(key));
            QVERIFY2(!again.ok(), key);
            QVERIFY(again.error().contains(QString::fromLatin1(key)));
        }

        QVERIFY(!JsonDecoder::fromJson("[1]", u"T"_s).ok());
        QVERIFY(!JsonDecoder::fromJson("{", u"T"_s).ok());
    }
};

QTEST_GUILESS_MAIN(FoundationTest)
#include "tst_foundation.moc"
