#include "fakeplatform.h"
#include "manualtimer.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"

#include <QRegularExpression>
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
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<PasteboardManager> m_manager;

private Q_SLOTS:
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

    // What the application in front does on Ctrl+C, and what the capture finds.
    void capture_data() {
        QTest::addColumn<bool>("window");
        QTest::addColumn<QString>("copies"); // "-": no copy at all; "": a copy without text
        QTest::addColumn<QString>("found");  // "-": nothing
        QTest::newRow("text") << true << u"selected words"_s << u"selected words"_s;
        QTest::newRow("non-text copy") << true << u""_s << u"-"_s;
        QTest::newRow("no copy: not the old clipboard") << true << u"-"_s << u"-"_s;
        QTest::newRow("no window") << false << u"selected words"_s << u"-"_s;
    }
    void capture() {
        QFETCH(bool, window);
        QFETCH(QString, copies);
        QFETCH(QString, found);
        if (window)
            m_platform->windowTracker->frontmost = editor;
        m_platform->clipboard->setText(u"older content"_s);
        m_platform->log.clear();
        m_platform->keyboardManager->onKeystroke = [&](int key, quint64 flags) {
            if (key == VirtualKeys::c && flags == ModifierFlags::command && copies != u"-")
                m_platform->clipboard->otherApplicationCopies(
                    copies.isEmpty() ? std::nullopt : std::optional(copies));
        };
        Result result;
        m_manager->copySelection(recordInto(result));
        QVERIFY(!result.done); // never synchronously
        if (copies == u"-" && window) {
            QTRY_COMPARE(m_timers->activeCount(), 1);
            m_timers->advance(99ms);
            QCoreApplication::processEvents();
            QVERIFY(!result.done);
            m_timers->advance(1ms);
        }
        QTRY_VERIFY(result.done);
        QCOMPARE(result.app.has_value(), window);
        if (window)
            QCOMPARE(*result.app, editor);
        QCOMPARE(result.item ? result.item->text : u"-"_s, found);
        if (result.item) {
            QCOMPARE(result.item->app, editor);
            QVERIFY(!result.item->selectedRange);
        }
        // Nothing is cleared or typed without a window.
        const QStringList typed{u"clear"_s, u"key 8 100000"_s};
        QCOMPARE(m_platform->log, window ? typed : QStringList{});
        // A copy that arrives late belongs to no capture.
        m_platform->clipboard->otherApplicationCopies(u"late"_s);
        QCoreApplication::processEvents();
    }

    void aNewCaptureEndsThePendingOne() {
        m_platform->windowTracker->frontmost = editor;
        Result first;
        Result second;
        m_manager->copySelection(recordInto(first));
        QTRY_COMPARE(m_timers->activeCount(), 1);
        m_manager->copySelection(recordInto(second));
        QVERIFY(first.done);
        QVERIFY(!first.item);
        QTRY_COMPARE(m_platform->log.count(u"key 8 100000"_s), 2);
        m_platform->clipboard->otherApplicationCopies(u"text"_s);
        QTRY_VERIFY(second.done);
        QCOMPARE(second.item->text, u"text"_s);
    }

    void pasteKeepsItsOrder() {
        bool done = false;
        m_manager->pasteText({u"New text"_s, editor, std::nullopt}, [&] { done = true; });
        QTRY_VERIFY(done);
        QCOMPARE(m_platform->log, (QStringList{u"write New text"_s, u"key 9 100000"_s}));
        QCOMPARE(m_platform->clipboard->text(), u"New text"_s);

        // The target asking for the text confirms the paste; silence is logged.
        QTest::failOnWarning(QRegularExpression(u"did not ask"_s));
        Q_EMIT m_platform->clipboard->dataRequested();
        m_timers->advance(PasteboardManager::pasteConfirmTimeout);
        m_manager->pasteText({u"Again"_s, editor, std::nullopt}, [&] { done = false; });
        QTRY_VERIFY(!done);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"did not ask"_s));
        m_timers->advance(PasteboardManager::pasteConfirmTimeout);

        // Nothing happens once the manager is gone.
        m_platform->log.clear();
        m_manager->pasteText({u"New text"_s, editor, std::nullopt});
        m_manager.reset();
        QTest::qWait(20);
        QVERIFY(m_platform->log.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PasteboardManagerTest)
#include "tst_pasteboardmanager.moc"
