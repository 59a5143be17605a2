#include "widget/worddiff.h"

#include <QTest>

using namespace Qt::StringLiterals;
using WordDiff::Kind;

namespace {

// [-deleted-]{+inserted+}: the expectations read like the change itself.
QString marked(const QList<WordDiff::Span>& spans) {
    QString text;
    for (const auto& span : spans)
        text += span.kind == Kind::deleted    ? "[-" + span.text + "-]"
                : span.kind == Kind::inserted ? "{+" + span.text + "+}"
                                              : span.text;
    return text;
}

} // namespace

class WordDiffTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void compare_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& before, const QString& after,
                            const QString& expected) {
            QTest::newRow(name) << before << after << expected;
        };
        row("same", u"a b"_s, u"a b"_s, u"a b"_s);
        row("word", u"I has a cat."_s, u"I have a cat."_s, u"I [-has-]{+have+} a cat."_s);
        row("punctuation", u"Hi you"_s, u"Hi, you!"_s, u"Hi{+,+} you{+!+}"_s);
        row("whitespace run", u"a  b"_s, u"a b"_s, u"a[-  -]{+ +}b"_s);
        row("line break", u"one two"_s, u"one\ntwo"_s, u"one[- -]{+\n+}two"_s);
        row("tiny island joins changes", u"he go to the shop"_s, u"she goes to a shop"_s,
            u"[-he go to the-]{+she goes to a+} shop"_s);
        row("long island stays", u"he walks home fast"_s, u"she walks home slowly"_s,
            u"[-he-]{+she+} walks home [-fast-]{+slowly+}"_s);
        row("island across a line stays", u"a\nb"_s, u"c\nd"_s, u"[-a-]{+c+}\n[-b-]{+d+}"_s);
        // Tokens never split a letter from its marks or an emoji sequence.
        row("combining mark", u"cafe"_s, u"cafe\u0301"_s, u"[-cafe-]{+cafe\u0301+}"_s);
        row("emoji sequence", u"ok \U0001F44D\U0001F3FD"_s, u"ok \U0001F44D"_s,
            u"ok [-\U0001F44D\U0001F3FD-]{+\U0001F44D+}"_s);
        row("rtl", u"שלום עולם"_s, u"שלום לכם"_s, u"שלום [-עולם-]{+לכם+}"_s);
        row("from nothing", u""_s, u"new"_s, u"{+new+}"_s);
    }
    void compare() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        const auto spans = WordDiff::compare(before, after);
        QCOMPARE(marked(spans), expected);
        QString kept;
        for (const auto& span : spans)
            if (span.kind != Kind::deleted)
                kept += span.text;
        QCOMPARE(kept, after);
    }

    void richText_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expected");
        const QString p = u"<p dir=\"%1\" style=\"white-space:pre-wrap;margin:0\">"_s;
        QTest::newRow("escaped, styled")
            << "a<b"
            << "a<c &"
            << p.arg("ltr") + "a&lt;<s style=\"color:#ff0000\">b</s>"
                              "<span style=\"color:#00ff00\">c &amp;</span></p>";
        QTest::newRow("a paragraph per line, direction from its text")
            << u"hi\nשלום"_s << u"hi\nשלום  x"_s
            << p.arg("ltr") + "hi</p>" + p.arg("rtl") +
                   u"שלום<span style=\"color:#00ff00\">  x</span></p>"_s;
        QTest::newRow("deleted break shown, not taken")
            << "a\nb"
            << "a b"
            << p.arg("ltr") +
                   u"a<s style=\"color:#ff0000\">\u21b5</s><span style=\"color:#00ff00\"> </span>b</p>"_s;
    }
    void richText() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        QCOMPARE(WordDiff::toRichText(WordDiff::compare(before, after), Qt::red, Qt::green),
                 expected);
    }
};

QTEST_GUILESS_MAIN(WordDiffTest)
#include "tst_worddiff.moc"
