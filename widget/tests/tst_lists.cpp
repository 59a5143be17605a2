#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"
#include "shortcuts/shortcuts.h"
#include "temporarysettings.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/widgetcontent.h"
#include "widget/widgetcontentviewmodel.h"
#include "widgetfakes.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;
using Action = AIDialogPostActionsViewModel::Action;

namespace {
const RunningApp editor{77, 4242, u"mousepad"_s};

WidgetKeyEvent key(int code, quint64 flags = 0) {
    return WidgetKeyEvent{code, flags, u"Orvane"_s};
}

QStringList names(const QList<PresetEntry>& list) {
    QStringList result;
    for (const PresetEntry& entry : list)
        result << entry->preset.name;
    return result;
}
} // namespace

class ListsTest : public QObject {
    Q_OBJECT

    TemporarySettings m_settings;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<FakeCoordinator> m_coordinator;
    std::unique_ptr<PasteboardManager> m_pasteboard;
    QList<PresetAction> m_actions;

    std::unique_ptr<AIDialogPresetActionsViewModel> makePromptList() {
        auto list = std::make_unique<AIDialogPresetActionsViewModel>(
            AIDialogPresetActionsViewModel::Dependencies{*m_coordinator, *m_platform->windowTracker,
                                                         *m_timers, m_pasteboard.get()});
        list->onPresetAction = [this](const PresetAction& action) {
            m_actions << action;
        };
        QCoreApplication::processEvents(); // the first load is one turn later
        return list;
    }
    void selectionAfter(AIDialogPresetActionsViewModel& list, const QList<WidgetKeyEvent>& keys,
                        const QList<std::optional<int>>& expected) {
        QList<std::optional<int>> seen;
        for (const WidgetKeyEvent& event : keys) {
            list.handleKeyInput(event);
            seen << list.selectedPresetIndex();
        }
        QCOMPARE(seen, expected);
    }

private Q_SLOTS:
    void init() {
        m_settings.clear();
        m_platform = std::make_unique<FakePlatform>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_coordinator = std::make_unique<FakeCoordinator>();
        m_pasteboard = std::make_unique<PasteboardManager>(*m_platform->windowTracker,
                                                           *m_platform->keyboardManager,
                                                           *m_platform->clipboard, *m_timers);
        m_actions.clear();
    }

    void promptListFiltersEnabledPromptsInOrder() {
        m_coordinator->presetStore.add(1, u"Fix grammar"_s);
        m_coordinator->presetStore.add(2, u"Translate"_s);
        m_coordinator->presetStore.add(3, u"Make shorter"_s);
        m_coordinator->presetStore.add(4, u"Make longer"_s, false);
        auto list = makePromptList();
        QCOMPARE(names(list->matchesPresets()),
                 (QStringList{"Fix grammar", "Translate", "Make shorter"}));
        list->search(u"mA"_s);
        QCOMPARE(names(list->matchesPresets()), (QStringList{"Fix grammar", "Make shorter"}));
        list->search(u"zz"_s);
        QCOMPARE(list->matchesPresets().size(), 3);
        list->search(u"longer"_s);
        QCOMPARE(list->matchesPresets().size(), 3); // disabled: never listed

        // The list follows the store on the next turn after "PromptsUpdated".
        m_coordinator->presetStore.entries.removeFirst();
        NotificationCenter::defaultCenter().post(Notifications::promptsUpdated);
        QTRY_COMPARE(names(list->matchesPresets()), (QStringList{"Translate", "Make shorter"}));
    }

    void promptListShowsAtMostTenRows() {
        for (int i = 0; i < 12; ++i)
            m_coordinator->presetStore.add(i, u"Prompt %1"_s.arg(i));
        auto list = makePromptList();
        QCOMPARE(list->presetsToShow(), 10);
        m_coordinator->presetStore.entries.resize(9);
        list->reloadPresets();
        QCOMPARE(list->presetsToShow(), 9);
    }

    void promptListNavigationWrapsAndChooses() {
        for (int i = 1; i <= 3; ++i)
            m_coordinator->presetStore.add(i * 10, u"P%1"_s.arg(i));
        auto list = makePromptList();
        const WidgetKeyEvent down = key(VirtualKeys::downArrow), up = key(VirtualKeys::upArrow);
        selectionAfter(*list, {down, down, down, down}, {0, 1, 2, 0});
        list->search(u"P"_s);
        selectionAfter(*list, {up, up}, {2, 1});
        selectionAfter(
            *list,
            {key(45, ModifierFlags::control), key(35, ModifierFlags::control), key(45), key(35)},
            {2, 1, 1, 1});

        list->handleKeyInput(key(VirtualKeys::returnKey));
        QCOMPARE(std::get<PresetChoice>(m_actions.last()).id, 20);
        list->search(u"P3"_s);
        list->handleKeyInput(key(VirtualKeys::returnKey)); // nothing selected: the typed command
        QVERIFY(std::holds_alternative<CommandChoice>(m_actions.last()));

        list->clickRow(0);
        QVERIFY(!list->selectedPresetIndex());
        QCOMPARE(m_actions.size(), 2);
        m_timers->advance(50ms);
        QCOMPARE(std::get<PresetChoice>(m_actions.last()).id, 30);
        QCOMPARE(list->selectedPresetIndex(), 0);
    }

    void promptHotkeysRegisterAndRun() {
        m_coordinator->presetStore.add(42, u"Fix"_s, true, u"command+option+c"_s);
        m_coordinator->presetStore.add(43, u"Odd"_s, true, u"command+nope"_s);
        auto list = makePromptList();
        const auto shortcut = Shortcuts::shortcutForName(Shortcuts::Names::presetHotkey(42));
        QVERIFY(shortcut);
        QCOMPARE(shortcut->keyCode, 8);
        QCOMPARE(shortcut->modifiers(), ModifierFlags::command | ModifierFlags::option);
        QVERIFY(!Shortcuts::shortcutForName(Shortcuts::Names::presetHotkey(43)));

        // The widget in front: the prompt runs on what it holds.
        m_platform->windowTracker->frontmost =
            RunningApp{1, QCoreApplication::applicationPid(), "orvane"};
        Shortcuts::dispatchKeyDown(*shortcut);
        QVERIFY(std::holds_alternative<PresetOnly>(m_actions.last()));

        // Another application: capture, then one generation however often it is pressed.
        m_platform->windowTracker->frontmost = editor;
        m_platform->keyboardManager->onKeystroke = [this](int code, quint64) {
            if (code == VirtualKeys::c)
                m_platform->clipboard->otherApplicationCopies(u"selected words"_s);
        };
        Shortcuts::dispatchKeyDown(*shortcut);
        Shortcuts::dispatchKeyDown(*shortcut);
        QTRY_COMPARE(m_actions.size(), 2);
        const auto& choice = std::get<PresetChoice>(m_actions.last());
        QCOMPARE(choice.id, 42);
        QCOMPARE(choice.item->text, u"selected words"_s);
        QVERIFY(choice.clearHistory);
        QCOMPARE(m_coordinator->previousApp, editor);
        QVERIFY(list->isPresetRunning());
        Shortcuts::dispatchKeyDown(*shortcut);
        QTest::qWait(20);
        QCOMPARE(m_actions.size(), 2);
        NotificationCenter::defaultCenter().post(Notifications::promptCompleted);
        QVERIFY(!list->isPresetRunning());
    }

    void resultActionsNavigateCopyAndRegenerate() {
        AIDialogPostActionsViewModel actions(*m_timers);
        QList<PostAction> posted;
        actions.onPostAction = [&](PostAction action) {
            posted << action;
        };
        QCOMPARE(actions.list(), AIDialogPostActionsViewModel::fullList());
        QCOMPARE(actions.selectedItem(), Action::replaceSelection);
        actions.handleKeyInput(key(VirtualKeys::returnKey));
        QCOMPARE(posted.last(), PostAction::replaceSelection);

        actions.handleKeyInput(key(VirtualKeys::downArrow));
        QCOMPARE(actions.selectedItem(), Action::copyToClipboard);
        actions.handleKeyInput(key(VirtualKeys::returnKey));
        QCOMPARE(posted.last(), PostAction::copyToClipboard);
        QCOMPARE(actions.listNames().at(1), u"copiedToClipboard"_s);
        actions.handleKeyInput(key(VirtualKeys::returnKey)); // "copied" does nothing
        QCOMPARE(posted.size(), 2);
        actions.handleKeyInput(PostMode::noBackPast);
        QCOMPARE(actions.list().size(), 7);
        NotificationCenter::defaultCenter().post(Notifications::promptStarted);
        QCOMPARE(actions.list(), AIDialogPostActionsViewModel::fullList());

        NotificationCenter::defaultCenter().post(Notifications::promptCompleted);
        actions.handleKeyInput(key(VirtualKeys::upArrow));
        QCOMPARE(actions.selectedItem(), Action::discard);
        actions.handleKeyInput(key(45, ModifierFlags::control));
        QCOMPARE(actions.selectedItem(), Action::replaceSelection);

        actions.handleKeyInput(key(15, ModifierFlags::command));
        QVERIFY(!actions.selectedItem());
        QCOMPARE(posted.size(), 2); // one turn later
        QTRY_COMPARE(posted.last(), PostAction::regenerate);
        actions.handleKeyInput(key(VirtualKeys::downArrow)); // nothing selected: the last row
        QCOMPARE(actions.selectedItem(), Action::discard);

        actions.clickRow(3);
        m_timers->advance(100ms);
        QCOMPARE(posted.last(), PostAction::continueWithAnotherPrompt);
    }

    void widgetHotkeysCaptureAndOpen() {
        m_coordinator->presetStore.add(5, u"Fix grammar"_s);
        m_coordinator->presetStore.add(6, u"Translate"_s);
        TextsCalls texts;
        WidgetContent content({*m_coordinator,
                               *m_platform->windowTracker,
                               *m_platform->keyboardManager,
                               *m_platform->clipboard,
                               *m_timers,
                               [&texts](const QString& token) {
                                   return std::make_unique<FakeTextsService>(texts, token);
                               },
                               u"command+option+c"_s,
                               {}});
        QCoreApplication::processEvents();
        const auto windowShortcut = Shortcuts::shortcutForName(Shortcuts::Names::windowHotkey());
        QVERIFY(windowShortcut);
        QCOMPARE(windowShortcut->keyCode, 8);

        m_platform->windowTracker->frontmost = editor;
        m_platform->keyboardManager->onKeystroke = [this](int code, quint64) {
            if (code == VirtualKeys::c)
                m_platform->clipboard->otherApplicationCopies(u"A sentence."_s);
        };
        Shortcuts::dispatchKeyDown(*windowShortcut);
        QTRY_COMPARE(content.input()->inputText(), u"A sentence."_s);
        QVERIFY(content.input()->displayPromptActions());
        QCOMPARE(m_coordinator->calls.last(), u"showWidget"_s);
        QCOMPARE(m_coordinator->previousApp, editor);

        // Down then Return runs the first prompt on the captured text.
        content.input()->handleKeyUp(key(VirtualKeys::downArrow));
        content.input()->handleKeyUp(key(VirtualKeys::returnKey));
        QCOMPARE(texts.calls.size(), 1);
        QCOMPARE(texts.calls.last().presetId, 5);
        QCOMPARE(texts.calls.last().text, u"A sentence."_s);

        // Nothing selected anywhere: the widget opens empty for a typed command.
        content.input()->stopRunning();
        m_platform->keyboardManager->onKeystroke = {};
        Shortcuts::dispatchKeyDown(*windowShortcut);
        for (int i = 0; i < 50 && content.input()->displayInput(); ++i) {
            QTest::qWait(5);
            m_timers->advance(50ms); // the capture times out
        }
        QVERIFY(!content.input()->displayInput());
        QVERIFY(content.input()->inputText().isEmpty());

        Shortcuts::dispatchKeyDown(
            *Shortcuts::shortcutForName(Shortcuts::Names::windowToggleHotkey()));
        QCOMPARE(m_coordinator->calls.last(), u"toggleWidget"_s);
    }

    void invalidWindowHotkeyLeavesOnlyTheToggle() {
        WidgetContentViewModel model(*m_coordinator, *m_platform->windowTracker, m_pasteboard.get(),
                                     u"command+option+"_s);
        QVERIFY(!Shortcuts::shortcutForName(Shortcuts::Names::windowHotkey()));
        const auto toggle = Shortcuts::shortcutForName(Shortcuts::Names::windowToggleHotkey());
        QVERIFY(toggle);
        QCOMPARE(toggle->keyCode, VirtualKeys::x);
        QCOMPARE(toggle->modifiers(), ModifierFlags::command | ModifierFlags::shift);
    }
};

QTEST_MAIN(ListsTest)
#include "tst_lists.moc"
