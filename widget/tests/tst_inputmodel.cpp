#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"
#include "temporarysettings.h"
#include "widget/aidialoginputviewmodel.h"
#include "widgetfakes.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;
using State = AIDialogInputViewModel::State;

namespace {
const RunningApp editor{77, 4242, u"mousepad"_s};
}

class InputModelTest : public QObject {
    Q_OBJECT

    TemporarySettings m_settings;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<ManualTimerSource> m_timers;
    std::unique_ptr<FakeCoordinator> m_coordinator;
    std::unique_ptr<TextsCalls> m_texts;
    std::unique_ptr<PasteboardManager> m_pasteboard;
    std::unique_ptr<AIDialogInputViewModel> m_model;

    AIDialogInputViewModel& model() { return *m_model; }

    void capture(const QString& text) {
        model().handleInput(
            SetCopiedItem{PasteboardManagerCopyItem{editor, text, std::nullopt}, true});
    }
    // The service streams the chunks and ends; waits until the answer is recorded.
    void answer(const QStringList& chunks) {
        for (const QString& chunk : chunks)
            m_texts->delegate->didReceiveText(chunk);
        m_texts->delegate->didFinish();
        QTRY_COMPARE(model().state(), State::sent);
    }
    void type(const QString& prompt) {
        model().setPromptText(prompt);
        m_timers->advance(20ms); // the re-wrap
    }
    static WidgetKeyEvent key(int code, quint64 flags = 0, const QString& title = u"Orvane"_s) {
        return WidgetKeyEvent{code, flags, title};
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<FakePlatform>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_coordinator = std::make_unique<FakeCoordinator>();
        m_coordinator->userStore.signedIn = User{u"a@b.c"_s, 1, u"device-key"_s};
        m_texts = std::make_unique<TextsCalls>();
        m_pasteboard = std::make_unique<PasteboardManager>(*m_platform->windowTracker,
                                                           *m_platform->keyboardManager,
                                                           *m_platform->clipboard, *m_timers);
        TextsCalls* texts = m_texts.get();
        m_model = std::make_unique<AIDialogInputViewModel>(AIDialogInputViewModel::Dependencies{
            *m_coordinator, *m_platform->windowTracker, *m_timers, [texts](const QString& token) {
                return std::make_unique<FakeTextsService>(*texts, token);
            }});
        m_model->setPasteboardManager(m_pasteboard.get());
    }
    void cleanup() {
        m_model.reset();
        QCoreApplication::processEvents();
    }

    void escapeStopsAndRegenerateRepeatsThePrompt() {
        capture(u"Teh sentence"_s);
        model().handlePresetAction(PresetChoice{7, std::nullopt, false});
        QCOMPARE(m_texts->calls.last().token, u"device-key"_s);
        QCOMPARE(m_texts->calls.last().presetId, 7);
        m_texts->delegate->didReceiveText(u"The sen"_s);

        QVERIFY(model().handleKeyDown(key(VirtualKeys::escape)));
        QTRY_COMPARE(model().resultText(), u"The sen"_s); // the partial answer stays
        QCOMPARE(model().state(), State::sent);
        QVERIFY(model().displayPostActions());
        QVERIFY(!model().displayPromptActions());
        QCOMPARE(m_texts->cancels, 1);
        QVERIFY(model().requestHistory().isEmpty());
        QCOMPARE(model().lastPromptId(), 7);

        // A late end of the cancelled request changes nothing.
        m_texts->delegate->didFailGeneric();
        m_texts->delegate->didFinish();
        QVERIFY(!model().showGenericError());

        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(m_texts->calls.size(), 2);
        QCOMPARE(m_texts->calls.last().presetId, 7);
        QCOMPARE(m_texts->calls.last().text, u"Teh sentence"_s);
        answer({u"The sentence."_s});
        QCOMPARE(model().requestHistory().size(), 1);
        QCOMPARE(model().lastPromptId(), 7);
    }

    void historyThroughRegenerateTryAgainAndContinue() {
        capture(u"input"_s);
        model().handlePresetAction(PresetChoice{3, std::nullopt, false});
        answer({u"first"_s});
        type(u"make it formal"_s);
        model().handlePresetAction(CommandChoice{});
        QCOMPARE(m_texts->calls.last().history.size(), 1);
        answer({u"second"_s});
        QCOMPARE(model().requestHistory().size(), 2);
        QCOMPARE(model().lastCommand(), u"make it formal"_s);

        // Regenerate: the same command with the shorter history, then recorded anew.
        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(m_texts->calls.last().command, u"make it formal"_s);
        QCOMPARE(m_texts->calls.last().history,
                 (QList<RequestData>{{3, std::nullopt, u"input"_s, u"first"_s}}));
        answer({u"third"_s});
        QCOMPARE(model().requestHistory().size(), 2);
        QCOMPARE(model().requestHistory().last().response, u"third"_s);
        QCOMPARE(model().lastCommand(), u"make it formal"_s);

        model().handlePostAction(PostAction::tryAgain);
        QCOMPARE(model().requestHistory().size(), 1);
        QCOMPARE(model().state(), State::idle);
        QVERIFY(model().displayPromptActions());
        QVERIFY(!model().displayPostActions());

        model().handlePresetAction(PresetChoice{4, std::nullopt, false});
        answer({u"fourth"_s});
        model().handlePostAction(PostAction::continueWithAnotherPrompt);
        QCOMPARE(model().inputText(), u"fourth"_s);
        QVERIFY(model().resultText().isEmpty());
        QCOMPARE(model().state(), State::idle);
        QVERIFY(model().displayInput());
        QCOMPARE(model().requestHistory().size(), 2);

        // A capture with a fresh history starts a new conversation.
        capture(u"other"_s);
        QVERIFY(model().requestHistory().isEmpty());
    }

    void typedTextBecomesTheInputAndMovesBack() {
        model().handleInput(SetEmptyItem{true, editor, true});
        QVERIFY(!model().displayInput());
        type(u"fix this"_s);
        QVERIFY(model().allowSend());
        model().handlePresetAction(PresetChoice{5, std::nullopt, false});
        QCOMPARE(m_texts->calls.last().text, u"fix this"_s);
        QCOMPARE(model().inputText(), u"fix this"_s);
        QVERIFY(model().displayInput());
        QVERIFY(model().promptText().isEmpty());
        answer({u"Fix this."_s});

        type(u"shorter"_s);
        model().handlePresetAction(CommandChoice{});
        QVERIFY(!model().displayInput());
        QCOMPARE(m_texts->calls.last().command, u"shorter"_s);
        QVERIFY(m_texts->calls.last().text.isEmpty());

        // Starting while sending, or with nothing typed, is ignored.
        model().handlePresetAction(PresetOnly{9});
        QCOMPARE(m_texts->calls.size(), 2);
        answer({u"x"_s});
        type(QString());
        model().handlePresetAction(CommandChoice{});
        QCOMPARE(m_texts->calls.size(), 2);
    }

    void revealIsOneCharacterPerAppendInOrder() {
        capture(u"in"_s);
        model().handlePresetAction(PresetOnly{1});
        QStringList appended;
        QString previous;
        connect(&model(), &AIDialogInputViewModel::resultTextChanged, this, [&] {
            QVERIFY(model().resultText().startsWith(previous));
            appended << model().resultText().mid(previous.size());
            previous = model().resultText();
        });
        const QString thumb =
            QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); // with skin tone
        // The second chunk arrives before the first is on screen; the third completes an "e".
        m_texts->delegate->didReceiveText(u"a\u00e9"_s + thumb + u"zy"_s);
        m_texts->delegate->didReceiveText(u"be"_s);
        m_texts->delegate->didReceiveText(QString(QChar(0x0301)));
        m_texts->delegate->didFinish();
        QTRY_COMPARE(model().state(), State::sent);
        QCOMPARE(appended, (QStringList{u"a"_s, QString(QChar(0xe9)), thumb, u"z"_s, u"y"_s, u"b"_s,
                                        u"e\u0301"_s}));
        QCOMPARE(model().requestHistory().last().response, previous);
    }

    void runningPlaceholderCycles() {
        capture(u"in"_s);
        QCOMPARE(model().promptRunningPlaceholder(), u"input.prompt.running.0"_s);
        model().handlePresetAction(PresetOnly{1});
        QCOMPARE(model().promptIconColor(), u"promptIconRunning"_s);
        QStringList seen;
        for (int tick = 0; tick < 5; ++tick) {
            m_timers->advance(250ms);
            seen << model().promptRunningPlaceholder().right(1);
        }
        QCOMPARE(seen, (QStringList{"1", "2", "3", "0", "1"}));
        answer({u"done"_s});
        QCOMPARE(model().promptRunningPlaceholder(), u"input.prompt.running.0"_s);
        QCOMPARE(model().promptIconColor(), u"promptIcon"_s);
        QCOMPARE(m_timers->activeCount(), 0);
    }

    void failuresSetTheirFlagsAndRecordNothing() {
        int completed = 0;
        QObject context;
        NotificationCenter::defaultCenter().addObserver(Notifications::promptCompleted, &context,
                                                        [&](const QVariantMap&) { ++completed; });
        capture(u"a very long text"_s);
        model().handlePresetAction(PresetOnly{1});
        m_texts->delegate->didFailPromptTooLong();
        QVERIFY(model().showTooLongError());
        QVERIFY(!model().showGenericError());
        QCOMPARE(model().state(), State::sent);
        QVERIFY(model().displayPostActions());
        QCOMPARE(completed, 1);

        model().handlePostAction(PostAction::tryAgain);
        model().handlePresetAction(PresetOnly{2});
        QVERIFY(!model().showTooLongError()); // a new start clears it
        m_texts->delegate->didReceiveText(u"par"_s);
        m_texts->delegate->didFailGeneric();
        m_texts->delegate->didFinish();
        QCoreApplication::processEvents();
        QVERIFY(model().showGenericError());
        QCOMPARE(model().state(), State::sent);
        QVERIFY(model().requestHistory().isEmpty());
        QVERIFY(!model().lastPromptId());

        // Regenerate after a failure has nothing to repeat.
        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(m_texts->calls.size(), 2);
        model().clearInput();
        QVERIFY(!model().showGenericError());
    }

    void resultIsPastedIntoTheCapturedWindow_data() {
        QTest::addColumn<PostAction>("action");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("replace") << PostAction::replaceSelection
                                 << QStringList{"write Better.", "key 9 100000"};
        QTest::newRow("insert below")
            << PostAction::insertBelow << QStringList{"key 124 0", "write Better.", "key 9 100000"};
    }
    void resultIsPastedIntoTheCapturedWindow() {
        QFETCH(PostAction, action);
        QFETCH(QStringList, expected);
        capture(u"Good."_s);
        model().handlePresetAction(PresetOnly{1});
        answer({u"Better."_s});
        m_platform->log.clear();
        model().handlePostAction(action);
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);
        QCOMPARE(m_coordinator->hiddenActivating, editor);
        QVERIFY(model().resultText().isEmpty());
        QCOMPARE(model().state(), State::idle);
        QCOMPARE(m_platform->windowTracker->activated, QList<quint32>{editor.windowId});
        QTRY_COMPARE(m_platform->log.filter(QRegularExpression("^(write|key)")), expected);
        QVERIFY(model().requestHistory().isEmpty());
    }

    void copyKeepsTheWidgetOpen() {
        capture(u"Good."_s);
        model().handlePresetAction(PresetOnly{1});
        answer({u"Better."_s});
        const int calls = m_coordinator->calls.size();
        model().handlePostAction(PostAction::copyToClipboard);
        QCOMPARE(m_platform->clipboard->text(), u"Better."_s);
        QCOMPARE(m_coordinator->calls.size(), calls);
        QCOMPARE(model().resultText(), u"Better."_s);

        model().handlePostAction(PostAction::discard);
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);
        QVERIFY(model().inputText().isEmpty());
        QVERIFY(model().requestHistory().isEmpty());

        // The tray's "close" asks the widget to go away the same way.
        capture(u"again"_s);
        NotificationCenter::defaultCenter().post(Notifications::widgetHideRequested);
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);
        QVERIFY(!model().displayInput());
    }

    void promptFieldWraps_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("wrapped");
        QTest::addColumn<QStringList>("splits");
        QString eighty(80, QLatin1Char('a'));
        for (int i = 0; i < 80; ++i)
            eighty[i] = QChar('a' + i % 26);
        eighty[10] = eighty[50] = eighty[75] = QLatin1Char(' ');
        QTest::newRow("80 with blanks at 10, 50, 75")
            << eighty << eighty.left(50) + "\n" + eighty.mid(51)
            << QStringList{eighty.mid(47, 3) + "\n"};
        const QString seventy(70, QLatin1Char('b'));
        QTest::newRow("70 left alone") << seventy << seventy << QStringList{};
        const QString noBlank = QString(70, QLatin1Char('c')) + " d";
        QTest::newRow("71 without a blank before 70") << noBlank << noBlank << QStringList{};
        const QString early = "abc " + QString(70, QLatin1Char('e'));
        QTest::newRow("blank at 3")
            << early << "abc\n" + QString(70, QLatin1Char('e')) << QStringList{};
        const QString twoLines =
            QString(60, QLatin1Char('f')) + "\n" + QString(60, QLatin1Char('g'));
        QTest::newRow("two lines of 60") << twoLines << twoLines << QStringList{};
    }
    void promptFieldWraps() {
        QFETCH(QString, text);
        QFETCH(QString, wrapped);
        QFETCH(QStringList, splits);
        type(text);
        QCOMPARE(model().promptText(), wrapped);
        QCOMPARE(model().lastSplits(), splits);
    }

    void editingUndoesTheSoftBreakBeforeWrappingAgain() {
        const QString words = QStringLiteral(
            "one two three four five six seven eight nine ten eleven twelve thirteen");
        type(words);
        QVERIFY(model().promptText().contains('\n'));
        // Text put in front moves the break: the old one must not survive as a hard break.
        type(u"zero "_s + model().promptText());
        QCOMPARE(model().promptText().count('\n'), 1);
        QCOMPARE(QString(model().promptText()).replace('\n', ' '), u"zero "_s + words);
        QVERIFY(model().promptText().indexOf('\n') <= 70);
    }

    void keyRules() {
        // Idle: Escape and Ctrl+H hide; a Settings window is never touched.
        capture(u"x"_s);
        QVERIFY(!model().handleKeyDown(key(VirtualKeys::escape, 0, u"Orvane Settings"_s)));
        QVERIFY(!m_coordinator->calls.contains("hideWidget"));
        QVERIFY(model().handleKeyDown(key(4, ModifierFlags::command)));
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);
        capture(u"x"_s);
        QVERIFY(model().handleKeyDown(key(VirtualKeys::escape)));
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);

        // Sending: list keys pass, the toggle works, Escape stops.
        capture(u"x"_s);
        model().handlePresetAction(PresetOnly{1});
        QVERIFY(!model().handleKeyDown(key(VirtualKeys::downArrow)));
        QVERIFY(!model().handleKeyDown(key(VirtualKeys::returnKey)));
        QVERIFY(!model().handleKeyDown(key(15, ModifierFlags::command)));
        QVERIFY(!model().handleKeyUp(key(VirtualKeys::returnKey)));
        QVERIFY(model().handleKeyDown(
            key(VirtualKeys::x, ModifierFlags::command | ModifierFlags::shift)));
        QCOMPARE(m_coordinator->calls.last(), u"toggleWidget"_s);
        QCOMPARE(model().state(), State::sending);
        QVERIFY(model().handleKeyDown(key(VirtualKeys::escape)));
        QCOMPARE(model().state(), State::sent);

        // Sent: list keys act on key up; typing brings the prompts back, erasing the actions.
        QVERIFY(model().handleKeyDown(key(VirtualKeys::returnKey)));
        QVERIFY(model().handleKeyDown(key(15, ModifierFlags::command)));
        QList<PostKeyInput> postKeys;
        QList<PresetKeyInput> presetKeys;
        model().onPostKeyInput = [&](const PostKeyInput& input) {
            postKeys << input;
        };
        model().onKeyInput = [&](const PresetKeyInput& input) {
            presetKeys << input;
        };
        QVERIFY(model().handleKeyUp(key(VirtualKeys::downArrow)));
        QCOMPARE(postKeys.size(), 1);
        model().setPromptText(u"m"_s);
        QVERIFY(!model().handleKeyUp(key(46)));
        QVERIFY(model().displayPromptActions());
        QVERIFY(!model().displayPostActions());
        model().setPromptText(QString());
        QVERIFY(!model().handleKeyUp(key(51)));
        QVERIFY(model().displayPostActions());
        QVERIFY(std::holds_alternative<PresetSearch>(presetKeys.last()));

        // Shift+Return and Ctrl+Return break the line instead of sending.
        model().setPromptText(u"a"_s);
        QVERIFY(model().handleKeyUp(key(VirtualKeys::returnKey, ModifierFlags::shift)));
        QVERIFY(model().handleKeyUp(key(VirtualKeys::returnKey, ModifierFlags::command)));
        QCOMPARE(model().promptText(), u"a\n\n"_s);
    }

    void keysArriveThroughTheApplicationFilter() {
        QWindow window;
        window.setTitle(u"Orvane"_s);
        window.show();
        window.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &window);
        capture(u"x"_s);
        QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_coordinator->calls.last(), u"toggleWidget"_s);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(m_coordinator->calls.last(), u"hideWidget"_s);

        window.setTitle(u"Orvane Settings"_s);
        capture(u"x"_s);
        const int calls = m_coordinator->calls.size();
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(m_coordinator->calls.size(), calls);
    }
};

QTEST_MAIN(InputModelTest)
#include "tst_inputmodel.moc"
