#include "core/jsondecoder.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class FoundationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
