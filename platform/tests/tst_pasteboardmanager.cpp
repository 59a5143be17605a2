#include "fakeplatform.h"
#include "manualtimer.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"

#include <QTest>

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

    const RunningApp editor{0x400001, 4242, QStringLiteral("Mousepad")};

private Q_SLOTS:
    void captureReadsTheTextTheApplicationCopies() {
        FakePlatform platform;
        ManualTimerSource timers;
        platform.windowTracker->frontmost = editor;
        platform.clipboard->setText(QStringLiteral("older content"));
        platform.log.clear();
        platform.keyboardManager->onKeystroke = [&](int key, quint64 flags) {
            if (key == VirtualKeys::c && flags == ModifierFlags::command)
                platform.clipboard->otherApplicationCopies(QStringLiteral("selected words"));
        };
        PasteboardManager manager(*platform.windowTracker, *platform.keyboardManager,
                                  *platform.clipboard, timers);
        Result result;
        manager.copySelection(recordInto(result));
        QVERIFY(!result.done);
        QTRY_VERIFY(result.done);

        QCOMPARE(platform.log,
                 (QStringList{QStringLiteral("clear"), QStringLiteral("key 8 100000")}));
        QCOMPARE(result.app, editor);
        QVERIFY(result.item);
        QCOMPARE(result.item->app, editor);
        QCOMPARE(result.item->text, QStringLiteral("selected words"));
        QVERIFY(!result.item->selectedRange);
    }

    void captureWithoutACopyFindsNothingAtTheTimeoutNotTheOldClipboard() {
        FakePlatform platform;
        ManualTimerSource timers;
        platform.windowTracker->frontmost = editor;
        platform.clipboard->setText(QStringLiteral("older content"));
        PasteboardManager manager(*platform.windowTracker, *platform.keyboardManager,
                                  *platform.clipboard, timers);
        manager.setCaptureTimeout(100ms);
        Result result;
        manager.copySelection(recordInto(result));
        QTRY_COMPARE(timers.activeCount(), 1);

        timers.advance(99ms);
        QCoreApplication::processEvents();
        QVERIFY(!result.done);
        timers.advance(1ms);
        QTRY_VERIFY(result.done);
        QCOMPARE(result.app, editor);
        QVERIFY(!result.item);

        // A copy that arrives late belongs to no capture.
        platform.clipboard->otherApplicationCopies(QStringLiteral("late"));
        QCoreApplication::processEvents();
    }

    void captureOfANonTextCopyOrWithNoWindowFindsNothing() {
        FakePlatform platform;
        ManualTimerSource timers;
        PasteboardManager manager(*platform.windowTracker, *platform.keyboardManager,
                                  *platform.clipboard, timers);
        Result noWindow;
        manager.copySelection(recordInto(noWindow));
        QTRY_VERIFY(noWindow.done);
        QVERIFY(!noWindow.app);
        QVERIFY(!noWindow.item);
        QVERIFY2(platform.log.isEmpty(), "nothing is cleared or typed without a window");

        platform.windowTracker->frontmost = editor;
        platform.keyboardManager->onKeystroke = [&](int, quint64) {
            platform.clipboard->otherApplicationCopies(std::nullopt);
        };
        Result image;
        manager.copySelection(recordInto(image));
        QTRY_VERIFY(image.done);
        QCOMPARE(image.app, editor);
        QVERIFY(!image.item);
    }

    void aNewCaptureEndsThePendingOne() {
        FakePlatform platform;
        ManualTimerSource timers;
        platform.windowTracker->frontmost = editor;
        PasteboardManager manager(*platform.windowTracker, *platform.keyboardManager,
                                  *platform.clipboard, timers);
        Result first;
        Result second;
        manager.copySelection(recordInto(first));
        QTRY_COMPARE(timers.activeCount(), 1);
        manager.copySelection(recordInto(second));
        QVERIFY(first.done);
        QVERIFY(!first.item);
        QTRY_COMPARE(platform.log.count(QStringLiteral("key 8 100000")), 2);
        platform.clipboard->otherApplicationCopies(QStringLiteral("text"));
        QTRY_VERIFY(second.done);
        QCOMPARE(second.item->text, QStringLiteral("text"));
    }

    void pasteKeepsItsOrder_data() {
        QTest::addColumn<bool>("insertBelow");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("replace") << false
                                 << QStringList{QStringLiteral("write New text"),
                                                QStringLiteral("key 9 100000")};
        QTest::newRow("insert below")
            << true
            << QStringList{QStringLiteral("key 124 0"), QStringLiteral("write New text"),
                           QStringLiteral("key 9 100000")};
    }

    void pasteKeepsItsOrder() {
        QFETCH(bool, insertBelow);
        QFETCH(QStringList, expected);
        FakePlatform platform;
        ManualTimerSource timers;
        PasteboardManager manager(*platform.windowTracker, *platform.keyboardManager,
                                  *platform.clipboard, timers);
        bool done = false;
        manager.pasteText({QStringLiteral("New text"), editor, std::nullopt}, insertBelow,
                          [&] { done = true; });
        QTRY_VERIFY(done);
        QCOMPARE(platform.log, expected);
        QCOMPARE(platform.clipboard->text(), QStringLiteral("New text"));
    }

    void aPasteDoesNothingOnceTheManagerIsGone() {
        FakePlatform platform;
        ManualTimerSource timers;
        auto manager = std::make_unique<PasteboardManager>(
            *platform.windowTracker, *platform.keyboardManager, *platform.clipboard, timers);
        manager->pasteText({QStringLiteral("New text"), editor, std::nullopt}, true);
        manager.reset();
        QTest::qWait(20);
        QVERIFY(platform.log.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PasteboardManagerTest)
#include "tst_pasteboardmanager.moc"
