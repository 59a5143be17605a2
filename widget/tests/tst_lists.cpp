#include "platform/virtualkeys.h"
#include "shortcuts/hotkeytext.h"
#include "widgetharness.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const RunningApp editor{77, 4242, u"mousepad"_s};
const RunningApp ownApp{1, QCoreApplication::applicationPid(), u"orvane"_s};
} // namespace

/** The widget as its window holds it: the lists, their keys and the widget's hotkeys. */
class ListsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WidgetHarness> h;

    AIDialogInputViewModel& input() { return *h->content->input(); }
    AIDialogPresetActionsViewModel& prompts() { return *h->content->presetActions(); }
    AIDialogPostActionsViewModel& actions() { return *h->content->postActions(); }
    void press(const QString& hotkey) {
        const auto shortcut = Shortcuts::HotkeyText::toShortcut(hotkey);
        h->platform.hotkeyGrabber->press(int(shortcut->keyCode), shortcut->modifiers());
    }
    void keys(const QList<int>& codes, quint64 flags = 0) {
        for (int code : codes)
            h->content->keys()->keyUp(WidgetKeyEvent{code, flags});
    }
    QStringList shownNames() {
        QStringList names;
        for (int row = 0; row < prompts().rowCount(); ++row)
            names << prompts().index(row).data(AIDialogPresetActionsViewModel::NameRole).toString();
        return names;
    }

private Q_SLOTS:
    void init() { h = std::make_unique<WidgetHarness>(); }
    void cleanup() { h.reset(); }

    void promptListFiltersNavigatesAndChooses() {
        for (int i = 1; i <= 3; ++i)
            h->coordinator.presetStore.add(i * 10, u"Make %1"_s.arg(i), true,
                                           u"control+%1"_s.arg(i));
        h->coordinator.presetStore.add(40, u"Disabled"_s, false);
        h->makeContent();
        QCOMPARE(shownNames(), (QStringList{u"Make 1"_s, u"Make 2"_s, u"Make 3"_s}));
        QCOMPARE(prompts().index(0).data(AIDialogPresetActionsViewModel::HotkeyRole), u"Meta+1"_s);
        input().setPromptText(u"3"_s);
        QCOMPARE(shownNames(), QStringList{u"Make 3"_s});
        input().setPromptText(u"disabled"_s); // nothing matches: all again
        QCOMPARE(prompts().rowCount(), 3);

        QList<int> seen;
        for (int code : {VirtualKeys::downArrow, VirtualKeys::downArrow, VirtualKeys::upArrow,
                         VirtualKeys::upArrow, VirtualKeys::upArrow}) {
            keys({code});
            seen << prompts().currentIndex();
        }
        QCOMPARE(seen, (QList<int>{0, 1, 0, 2, 1}));
        keys({WidgetKeyCodes::n}, ModifierFlags::control);
        keys({VirtualKeys::returnKey});
        QCOMPARE(h->texts.calls.last().presetId, 30);
        h->texts.delegate->didFinish();
        QTRY_COMPARE(input().phase(), AIDialogInputViewModel::Phase::answered);

        input().handlePostAction(PostAction::tryAgain);
        prompts().clickRow(1);
        QCOMPARE(prompts().currentIndex(), -1);
        h->timers.advance(50ms);
        QCOMPARE(h->texts.calls.last().presetId, 20);
    }

    void promptHotkeysCaptureAndRunOnce() {
        h->coordinator.presetStore.add(42, u"Fix"_s, true, u"command+option+c"_s);
        h->coordinator.presetStore.add(43, u"Odd"_s, true, u"command+nope"_s);
        h->makeContent();
        QVERIFY(!h->hotkeys.shortcut(Shortcuts::Names::presetHotkey(43)));
        // Refreshes and an edit bind it again, but it still runs once; with the widget in
        // front the prompt runs on what it holds.
        for (int refresh = 0; refresh < 3; ++refresh)
            Q_EMIT h->events.hotkeysRefreshRequested();
        h->coordinator.presetStore.entries.first()->preset.name = u"Fix it"_s;
        Q_EMIT h->coordinator.presetStore.changed();
        QTRY_COMPARE(shownNames(), (QStringList{u"Fix it"_s, u"Odd"_s}));
        h->platform.windowTracker->frontmost = ownApp;
        QSignalSpy actions(&prompts(), &AIDialogPresetActionsViewModel::hotkeyAction);
        press(u"command+option+c"_s);
        QCOMPARE(actions.count(), 1);

        // Another application: capture, then one generation however often it is pressed.
        h->platform.windowTracker->frontmost = editor;
        h->platform.keyboardManager->onKeystroke = [this](int code, quint64) {
            if (code == VirtualKeys::c)
                h->platform.clipboard->otherApplicationCopies(u"selected words"_s);
        };
        press(u"command+option+c"_s);
        press(u"command+option+c"_s);
        QTRY_COMPARE(h->texts.calls.size(), 2);
        QCOMPARE(h->texts.calls.last().text, u"selected words"_s);
        QCOMPARE(input().sourceTypeName(), u"hotkey"_s);
        QCOMPARE(h->coordinator.previousApp, editor);
        press(u"command+option+c"_s);
        QTest::qWait(20);
        QCOMPARE(actions.count(), 2);
        h->texts.delegate->didFailGeneric();
        QVERIFY(!prompts().isPresetRunning());

        // Disabling the prompt takes its hotkey away.
        h->coordinator.presetStore.entries.first()->enabled = false;
        Q_EMIT h->coordinator.presetStore.changed();
        QTRY_COMPARE(prompts().rowCount(), 1);
        QVERIFY(h->platform.hotkeyGrabber->grabs.empty());
    }

    // Return in the sign-in or help window after the widget was used stays theirs.
    void keysOfTheWidgetWindowOnly() {
        h->makeContent();
        QWindow widget;
        QWindow other;
        for (QWindow* window : {&widget, &other}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        }
        h->content->keys()->watch(&widget);
        input().handleInput(SetCopiedItem{{editor, u"x"_s, {}}, true});
        QTest::keyClick(&other, Qt::Key_Escape);
        QTest::keyClick(&other, Qt::Key_Return);
        QVERIFY(!h->coordinator.calls.contains(u"hideWidget"_s));
        QVERIFY(h->texts.calls.isEmpty());
        QTest::keyClick(&widget, Qt::Key_Escape);
        QCOMPARE(h->coordinator.calls.last(), u"hideWidget"_s);
    }

    void widgetHotkeysToggleAndEndWithTheWidget() {
        h->hotkeys.resetToDefaults({Shortcuts::Names::windowHotkey(
                                        Shortcuts::HotkeyText::toShortcut(u"command+option+c"_s)),
                                    Shortcuts::Names::windowToggleHotkey()});
        h->makeContent();
        QVERIFY(!h->platform.hotkeyGrabber->grabs.empty());
        press(u"command+shift+x"_s);
        QCOMPARE(h->coordinator.calls.last(), u"toggleWidget"_s);
        h->content.reset();
        QVERIFY(h->platform.hotkeyGrabber->grabs.empty());
    }
};

QTEST_MAIN(ListsTest)
#include "tst_lists.moc"
