#include "core/settingsstore.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class PasteboardManagerTest : public QObject {
    Q_OBJECT

    struct Result {
        bool done = false;
        std::optional<RunningApp> app;
        std::optional<PasteboardManagerCopyItem> item;
    };

    static PasteboardManager::CopyCompletion recordInto(Result& result) {
        return [&result](std::optional<RunningApp> app,
                         std::optional<PasteboardManagerCopyItem> item) {
            QVERIFY(!result.done);
            result = {true, std::move(app), std::move(item)};
        };
    }

    const RunningApp editor{0x400001, 4242, u"Mousepad"_s};
    QTemporaryDir m_settings;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<PasteboardManager> m_manager;

private Q_SLOTS:
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        openSettingsStore()->setValue(CaptureRules::terminalClassesKey, QStringList{u"MyTerm"_s});
    }
    void init() {
        m_platform = std::make_unique<FakePlatform>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_manager = std::make_unique<PasteboardManager>(*m_platform->windowTracker,
                                                        *m_platform->keyboardManager,
                                                        *m_platform->clipboard, *m_timers);
        m_manager->setCaptureTimeout(100ms);
    }
    void cleanup() {
        m_manager.reset();
        m_timers.reset();
        m_platform.reset();
    }

    // Terminal classes (MyTerm from the settings file) and paste keys beyond those the
    // paste test uses, line endings, and the learned wait after the delays a class showed.
    void rules_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no class") << u"paste"_s << QString() << u"key 9 100000 clipboard"_s;
        QTest::newRow("urxvt") << u"paste"_s << u"urxvt"_s << u"key 114 20000 primary"_s;
        QTest::newRow("wezterm") << u"paste"_s << u"org.wezfurlong.wezterm"_s
                                 << u"key 9 120000 clipboard"_s;
        QTest::newRow("from settings") << u"paste"_s << u"myterm"_s << u"key 9 120000 clipboard"_s;
        QTest::newRow("crlf and cr") << u"lines"_s << u"a\r\nb\rc\r\n\r\n"_s << u"a\nb\nc\n\n"_s;
        QTest::newRow("never seen") << u"wait"_s << QString() << u"500"_s;
        QTest::newRow("slow") << u"wait"_s << u"180"_s << u"360"_s;
        QTest::newRow("bounded") << u"wait"_s << u"400"_s << u"500"_s;
        QTest::newRow("cold start forgotten") << u"wait"_s << u"300 20 20"_s << u"180"_s;
        QTest::newRow("slow again") << u"wait"_s << u"20 250"_s << u"500"_s;
    }
    void rules() {
        QFETCH(QString, kind);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QString actual;
        if (kind == u"paste") {
            const auto key = CaptureRules::pasteKey(input, CaptureRules::isTerminal(input));
            actual = u"key %1 %2 %3"_s.arg(key.keyCode)
                         .arg(key.flags, 0, 16)
                         .arg(key.selection == Selection::primary ? u"primary"_s : u"clipboard"_s);
        } else if (kind == u"lines") {
            actual = withUnixLineEndings(input);
        } else {
            CaptureWaits waits(100ms, 500ms);
            for (const QString& delay : input.split(u' ', Qt::SkipEmptyParts))
                waits.record(u"App"_s, std::chrono::milliseconds(delay.toInt()));
            // Kept across a restart, whatever else the stored list holds.
            CaptureWaits restarted(100ms, 500ms);
            restarted.restore(waits.toStored() << u"junk"_s << u"-5 Other"_s << u"7 "_s);
            actual = QString::number(restarted.waitFor(u"App"_s).count());
        }
        QCOMPARE(actual, expected);
    }

    void onlyTheMostRecentClassesAreRemembered() {
        CaptureWaits waits(100ms, 500ms);
        for (int i = 0; i <= CaptureWaits::remembered; ++i)
            waits.record(u"App%1"_s.arg(i), 60ms);
        QCOMPARE(waits.toStored().size(), CaptureWaits::remembered);
        QCOMPARE(waits.waitFor(u"App0"_s), 500ms); // the oldest went
        QCOMPARE(waits.waitFor(u"App1"_s), 120ms);
    }

    // Where the text comes from, which keys go out, and that the clipboard stays.
    void capture_data() {
        QTest::addColumn<QString>("windowClass"); // "-": no window in front
        QTest::addColumn<qint64>("primaryOwner"); // 0: nobody; 4242 is the window's process
        QTest::addColumn<QString>("copies");      // on Ctrl+C; "-": no copy, "": no text
        QTest::addColumn<QString>("found");       // "-": nothing
        QTest::addColumn<bool>("keystroke");
        const QString editor = u"Mousepad"_s;
        QTest::newRow("copy") << editor << 0ll << u"a\r\nb"_s << u"a\nb"_s << true;
        QTest::newRow("non-text copy") << editor << 0ll << QString() << u"-"_s << true;
        QTest::newRow("no copy: not the old clipboard")
            << editor << 0ll << u"-"_s << u"-"_s << true;
        QTest::newRow("no window") << u"-"_s << 0ll << u"words"_s << u"-"_s << false;
        QTest::newRow("own primary, no key") << editor << 4242ll << u"-"_s << u"primary"_s << false;
        QTest::newRow("primary elsewhere") << editor << 999ll << u"words"_s << u"words"_s << true;
        QTest::newRow("terminal") << u"XTerm"_s << 4242ll << u"words"_s << u"primary"_s << false;
        QTest::newRow("terminal, nothing") << u"XTerm"_s << 999ll << u"words"_s << u"-"_s << false;
    }
    void capture() {
        QFETCH(QString, windowClass);
        QFETCH(qint64, primaryOwner);
        QFETCH(QString, copies);
        QFETCH(QString, found);
        QFETCH(bool, keystroke);
        const RunningApp app{editor.windowId, editor.processId, windowClass};
        if (windowClass != u"-")
            m_platform->windowTracker->frontmost = app;
        FakeClipboard& clipboard = *m_platform->clipboard;
        clipboard.setText(u"older content"_s);
        clipboard.primary = u"primary"_s;
        if (primaryOwner)
            clipboard.primaryOwner = primaryOwner;
        m_platform->log.clear();
        m_platform->keyboardManager->onKeystroke = [&](int key, quint64 flags) {
            if (key == VirtualKeys::c && flags == ModifierFlags::command && copies != u"-")
                clipboard.otherApplicationCopies(copies.isEmpty() ? std::nullopt
                                                                  : std::optional(copies));
        };
        Result result;
        m_manager->copySelection(recordInto(result));
        QVERIFY(!result.done); // never synchronously
        if (copies == u"-" && keystroke) {
            QTRY_COMPARE(m_timers->activeCount(), 2);
            const auto wait = m_manager->captureWaits().waitFor(windowClass);
            m_timers->advance(wait - 1ms);
            QCoreApplication::processEvents();
            QVERIFY(!result.done);
            m_timers->advance(1ms);
        }
        QTRY_VERIFY(result.done);
        QCOMPARE(result.app.has_value(), windowClass != u"-");
        QCOMPARE(result.item ? result.item->text : u"-"_s, found);
        if (result.item)
            QCOMPARE(result.item->pastesAtCursorOnly, windowClass == u"XTerm");
        // Only the copy key, if any, and the clipboard as it was: never cleared.
        QCOMPARE(m_platform->log, keystroke ? QStringList{u"key 8 100000"_s} : QStringList{});
        QCOMPARE(clipboard.text(), u"older content"_s);
    }

    // Once the class copied quickly its wait is short; a slower copy after it finds
    // nothing, but the clipboard still comes back.
    void aLateCopyIsUndoneAndAnnounced() {
        m_platform->windowTracker->frontmost = editor;
        FakeClipboard& clipboard = *m_platform->clipboard;
        clipboard.setText(u"older"_s);
        bool late = false;
        m_platform->keyboardManager->onKeystroke = [&](int, quint64) {
            if (!late)
                clipboard.otherApplicationCopies(u"quick"_s);
        };
        Result quick;
        m_manager->copySelection(recordInto(quick));
        QTRY_VERIFY(quick.done);
        QCOMPARE(quick.item->text, u"quick"_s);
        QCOMPARE(m_manager->captureWaits().waitFor(editor.windowClass), 100ms);
        m_timers->advance(PasteboardManager::storeWaitsDelay);
        const PasteboardManager restarted(*m_platform->windowTracker, *m_platform->keyboardManager,
                                          clipboard, *m_timers);
        QCOMPARE(restarted.captureWaits().waitFor(editor.windowClass), 100ms);

        late = true;
        Result slow;
        m_manager->copySelection(recordInto(slow));
        QTRY_COMPARE(m_timers->activeCount(), 2);
        m_timers->advance(100ms);
        QTRY_VERIFY(slow.done);
        QVERIFY(!slow.item);
        QList<PasteboardManagerCopyItem> announced;
        connect(m_manager.get(), &PasteboardManager::lateSelection, this,
                [&](const PasteboardManagerCopyItem& item) { announced << item; });
        clipboard.otherApplicationCopies(u"late"_s);
        QTRY_COMPARE(clipboard.text(), u"older"_s);
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.first().text, u"late"_s);
        QCOMPARE(announced.first().app.windowId, editor.windowId);
        // After the bound nobody listens.
        m_timers->advance(PasteboardManager::slowCopyBound);
        clipboard.otherApplicationCopies(u"later"_s);
        QTest::qWait(20);
        QCOMPARE(clipboard.text(), u"later"_s);
    }
};

QTEST_GUILESS_MAIN(PasteboardManagerTest)
#include "tst_pasteboardmanager.moc"
