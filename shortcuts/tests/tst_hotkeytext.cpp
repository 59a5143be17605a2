#include "shortcuts/hotkeytext.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace Shortcuts;
using Shortcuts::HotkeyText::Parsed;

Q_DECLARE_METATYPE(std::optional<Shortcuts::Shortcut>)

class HotkeyTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<Modifier>>("modifiers");

        QTest::newRow("default widget hotkey")
            << "command+option+c" << true << "c"
            << QList<Modifier>{Modifier::command, Modifier::option};
        QTest::newRow("capitalised words are no modifiers")
            << "Command+Option+C" << true << "c" << QList<Modifier>{};
        QTest::newRow("key piece is lower-cased")
            << "command+option+C" << true << "c"
            << QList<Modifier>{Modifier::command, Modifier::option};
        QTest::newRow("empty pieces dropped")
            << "command++c" << true << "c" << QList<Modifier>{Modifier::command};
        QTest::newRow("repeats kept, unknown words ignored")
            << "shift+shift+fn+control+1" << true << "1"
            << QList<Modifier>{Modifier::shift, Modifier::shift, Modifier::control};
        QTest::newRow("last piece a word") << "command+option" << false << "" << QList<Modifier>{};
        QTest::newRow("two characters") << "command+cc" << false << "" << QList<Modifier>{};
        QTest::newRow("nothing") << "+++" << false << "" << QList<Modifier>{};
        QTest::newRow("empty") << "" << false << "" << QList<Modifier>{};
    }

    void parsing() {
        QFETCH(QString, text);
        QFETCH(bool, parses);
        QFETCH(QString, key);
        QFETCH(QList<Modifier>, modifiers);
        const std::optional<Parsed> parsed = HotkeyText::parse(text);
        QCOMPARE(parsed.has_value(), parses);
        if (parsed) {
            QCOMPARE(parsed->key, key);
            QCOMPARE(parsed->modifiers, modifiers);
        }
    }

    void shortcuts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<Shortcut>>("shortcut");
        QTest::newRow("default widget hotkey")
            << "command+option+c" << std::optional(Shortcut{8, 0x900});
        QTest::newRow("any order") << "option+command+c" << std::optional(Shortcut{8, 0x900});
        QTest::newRow("all four") << "shift+control+option+command+z"
                                  << std::optional(Shortcut{6, 0x1B00});
        QTest::newRow("bracket is written (") << "command+(" << std::optional(Shortcut{33, 0x100});
        QTest::newRow("no [ in the table") << "command+[" << std::optional<Shortcut>();
        QTest::newRow("no backslash") << "command+\\" << std::optional<Shortcut>();
        QTest::newRow("no modifiers") << "'" << std::optional(Shortcut{39, 0});
    }

    void shortcuts() {
        QFETCH(QString, text);
        QFETCH(std::optional<Shortcut>, shortcut);
        QCOMPARE(HotkeyText::toShortcut(text), shortcut);
    }

    void textForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<QString>("display");
        QTest::newRow("widget hotkey") << "command+option+c"
                                       << "command+option+c"
                                       << "Ctrl+Alt+C";
        QTest::newRow("any order") << "shift+option+command+)"
                                   << "command+option+shift+)"
                                   << "Ctrl+Alt+Shift+)";
        QTest::newRow("control is Meta") << "control+1"
                                         << "control+1"
                                         << "Meta+1";
        QTest::newRow("no key") << "command+option"
                                << ""
                                << "";
    }
    void textForms() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, display);
        const auto shortcut = HotkeyText::toShortcut(text);
        QCOMPARE(shortcut ? HotkeyText::fromShortcut(*shortcut) : QString(), canonical);
        QCOMPARE(HotkeyText::displayText(text), display);
    }

    void theKeyTableRoundTrips() {
        const QString characters = u"abcdefghijklmnopqrstuvwxyz0123456789;,=-.'/()"_s;
        QCOMPARE(characters.size(), 45);
        QSet<qint64> codes;
        for (QChar character : characters) {
            const std::optional<qint64> code = HotkeyText::keyCodeForCharacter(QString(character));
            QVERIFY(code);
            codes.insert(*code);
            QCOMPARE(HotkeyText::characterForKeyCode(*code), QString(character));
        }
        QCOMPARE(codes.size(), 45);
    }

    void modifierEncodingsConvertBothWays() {
        const Shortcut shortcut = Shortcut::fromKey(Key{8}, 0x100000 | 0x80000 | 0x800000 | 0x1);
        QCOMPARE(shortcut, (Shortcut{8, 0x900}));
        QCOMPARE(shortcut.modifiers(), quint64(0x180000));
        QCOMPARE(modifierFlagsFromHotkeyModifiers(0x1000 | 0x200 | 0x4), quint64(0x60000));
    }

    void jsonNeedsBothIntegers() {
        const Shortcut shortcut{8, 0x900};
        QCOMPARE(Shortcut::fromJson(shortcut.toJson()), shortcut);
        QVERIFY(!Shortcut::fromJson(R"({"keyCode":8})"));
        QVERIFY(!Shortcut::fromJson(R"({"keyCode":"8","hotkeyModifiers":0})"));
        QVERIFY(!Shortcut::fromJson("false"));
    }
};

QTEST_MAIN(HotkeyTextTest)
#include "tst_hotkeytext.moc"
