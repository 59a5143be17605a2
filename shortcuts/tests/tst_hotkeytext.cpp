#include "shortcuts/hotkeytext.h"

#include <QTest>

using namespace Shortcuts;

/** The stored text form of hotkeys ("command+option+c") against shortcuts and the desktop's. */
class HotkeyTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textForms_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("keyCode"); // -1: no shortcut
        QTest::addColumn<qint64>("modifiers");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<QString>("display");
        QTest::newRow("widget hotkey") << "command+option+c" << 8LL << 0x900LL << "command+option+c"
                                       << "Ctrl+Alt+C";
        QTest::newRow("any order, empty pieces, key upper-cased")
            << "shift++option+command+C" << 8LL << 0xB00LL << "command+option+shift+c"
            << "Ctrl+Alt+Shift+C";
        QTest::newRow("control is Meta") << "control+1" << 18LL << 0x1000LL << "control+1"
                                         << "Meta+1";
        QTest::newRow("bracket is written (") << "command+(" << 33LL << 0x100LL << "command+("
                                              << "Ctrl+(";
        QTest::newRow("no [ in the table") << "command+[" << -1LL << 0LL << ""
                                           << "Ctrl+[";
        QTest::newRow("last piece a word") << "command+option" << -1LL << 0LL << ""
                                           << "";
        QTest::newRow("two characters") << "command+cc" << -1LL << 0LL << ""
                                        << "";
    }
    void textForms() {
        QFETCH(QString, text);
        QFETCH(qint64, keyCode);
        QFETCH(qint64, modifiers);
        QFETCH(QString, canonical);
        QFETCH(QString, display);
        const std::optional<Shortcut> shortcut = HotkeyText::toShortcut(text);
        QCOMPARE(shortcut,
                 keyCode < 0 ? std::nullopt : std::optional(Shortcut{keyCode, modifiers}));
        QCOMPARE(shortcut ? HotkeyText::fromShortcut(*shortcut) : QString(), canonical);
        QCOMPARE(HotkeyText::displayText(text), display);
    }

    void theKeyTableRoundTripsAndJsonNeedsBothIntegers() {
        const QString characters = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789;,=-.'/()");
        // Two characters sharing a code would fail the way back for one of them.
        for (QChar character : characters) {
            const std::optional<qint64> code = HotkeyText::keyCodeForCharacter(QString(character));
            QVERIFY(code);
            QCOMPARE(HotkeyText::characterForKeyCode(*code), QString(character));
        }
        QCOMPARE(Shortcut::fromJson(Shortcut{8, 0x900}.toJson()), (Shortcut{8, 0x900}));
        QVERIFY(!Shortcut::fromJson(R"({"keyCode":"8","hotkeyModifiers":0})"));
        QCOMPARE(Shortcut::fromKey(Key{8}, 0x100000 | 0x80000 | 0x1), (Shortcut{8, 0x900}));
    }
};

QTEST_MAIN(HotkeyTextTest)
#include "tst_hotkeytext.moc"
