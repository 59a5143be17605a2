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

using namespace std::chrono_literals;
using State = AIDialogInputViewModel::State;

namespace {
const RunningApp editor{77, 4242, QStringLiteral("mousepad")};
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
    static WidgetKeyEvent key(int code, quint64 flags = 0,
                              const QString& title = QStringLiteral("Orvane")) {
        return WidgetKeyEvent{code, flags, title};
    }

private Q_SLOTS:
    void init() {
        m_platform = std::make_unique<FakePlatform>();
        m_timers = std::make_unique<ManualTimerSource>();
        m_coordinator = std::make_unique<FakeCoordinator>();
        m_coordinator->userStore.signedIn =
            User{QStringLiteral("a@b.c"), 1, QStringLiteral("device-key")};
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
        capture(QStringLiteral("Teh sentence"));
        model().handlePresetAction(PresetChoice{7, std::nullopt, false});
        QCOMPARE(m_texts->calls.last().token, QStringLiteral("device-key"));
        QCOMPARE(m_texts->calls.last().presetId, 7);
        m_texts->delegate->didReceiveText(QStringLiteral("The sen"));

        QVERIFY(model().handleKeyDown(key(VirtualKeys::escape)));
        QTRY_COMPARE(model().resultText(), QStringLiteral("The sen")); // the partial answer stays
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
        QCOMPARE(m_texts->calls.last().text, QStringLiteral("Teh sentence"));
        answer({QStringLiteral("The sentence.")});
        QCOMPARE(model().requestHistory().size(), 1);
        QCOMPARE(model().lastPromptId(), 7);
    }

    void historyThroughRegenerateTryAgainAndContinue() {
        capture(QStringLiteral("input"));
        model().handlePresetAction(PresetChoice{3, std::nullopt, false});
        answer({QStringLiteral("first")});
        type(QStringLiteral("make it formal"));
        model().handlePresetAction(CommandChoice{});
        QCOMPARE(m_texts->calls.last().history.size(), 1);
        answer({QStringLiteral("second")});
        QCOMPARE(model().requestHistory().size(), 2);
        QCOMPARE(model().lastCommand(), QStringLiteral("make it formal"));

        // Regenerate: the same command with the shorter history, then recorded anew.
        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(m_texts->calls.last().command, QStringLiteral("make it formal"));
        QCOMPARE(m_texts->calls.last().history,
                 (QList<RequestData>{
                     {3, std::nullopt, QStringLiteral("input"), QStringLiteral("first")}}));
        answer({QStringLiteral("third")});
        QCOMPARE(model().requestHistory().size(), 2);
        QCOMPARE(model().requestHistory().last().response, QStringLiteral("third"));
        QCOMPARE(model().lastCommand(), QStringLiteral("make it formal"));

        model().handlePostAction(PostAction::tryAgain);
        QCOMPARE(model().requestHistory().size(), 1);
        QCOMPARE(model().state(), State::idle);
        QVERIFY(model().displayPromptActions());
        QVERIFY(!model().displayPostActions());

        model().handlePresetAction(PresetChoice{4, std::nullopt, false});
        answer({QStringLiteral("fourth")});
        model().handlePostAction(PostAction::continueWithAnotherPrompt);
        QCOMPARE(model().inputText(), QStringLiteral("fourth"));
        QVERIFY(model().resultText().isEmpty());
        QCOMPARE(model().state(), State::idle);
        QVERIFY(model().displayInput());
        QCOMPARE(model().requestHistory().size(), 2);

        // A capture with a fresh history starts a new conversation.
        capture(QStringLiteral("other"));
        QVERIFY(model().requestHistory().isEmpty());
    }

    void typedTextBecomesTheInputAndMovesBack() {
        model().handleInput(SetEmptyItem{true, editor, true});
        QVERIFY(!model().displayInput());
        type(QStringLiteral("fix this"));
        QVERIFY(model().allowSend());
        model().handlePresetAction(PresetChoice{5, std::nullopt, false});
        QCOMPARE(m_texts->calls.last().text, QStringLiteral("fix this"));
        QCOMPARE(model().inputText(), QStringLiteral("fix this"));
        QVERIFY(model().displayInput());
        QVERIFY(model().promptText().isEmpty());
        answer({QStringLiteral("Fix this.")});

        type(QStringLiteral("shorter"));
        model().handlePresetAction(CommandChoice{});
        QVERIFY(!model().displayInput());
        QCOMPARE(m_texts->calls.last().command, QStringLiteral("shorter"));
        QVERIFY(m_texts->calls.last().text.isEmpty());

        // Starting while sending, or with nothing typed, is ignored.
        model().handlePresetAction(PresetOnly{9});
        QCOMPARE(m_texts->calls.size(), 2);
        answer({QStringLiteral("x")});
        type(QString());
        model().handlePresetAction(CommandChoice{});
        QCOMPARE(m_texts->calls.size(), 2);
    }

    void revealIsOneCharacterPerAppendInOrder() {
        capture(QStringLiteral("in"));
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
        m_texts->delegate->didReceiveText(QStringLiteral("a\u00e9") + thumb + QStringLiteral("zy"));
        m_texts->delegate->didReceiveText(QStringLiteral("be"));
        m_texts->delegate->didReceiveText(QString(QChar(0x0301)));
        m_texts->delegate->didFinish();
        QTRY_COMPARE(model().state(), State::sent);
        QCOMPARE(appended, (QStringList{QStringLiteral("a"), QString(QChar(0xe9)), thumb,
                                        QStringLiteral("z"), QStringLiteral("y"),
                                        QStringLiteral("b"), QStringLiteral("e\u0301")}));
        QCOMPARE(model().requestHistory().last().response, previous);
    }

    void runningPlaceholderCycles() {
        capture(QStringLiteral("in"));
        QCOMPARE(model().promptRunningPlaceholder(), QStringLiteral("input.prompt.running.0"));
        model().handlePresetAction(PresetOnly{1});
        QCOMPARE(model().promptIconColor(), QStringLiteral("promptIconRunning"));
        QStringList seen;
        for (int tick = 0; tick < 5; ++tick) {
            m_timers->advance(250ms);
            seen << model().promptRunningPlaceholder().right(1);
        }
        QCOMPARE(seen, (QStringList{"1", "2", "3", "0", "1"}));
        answer({QStringLiteral("done")});
        QCOMPARE(model().promptRunningPlaceholder(), QStringLiteral("input.prompt.running.0"));
        QCOMPARE(model().promptIconColor(), QStringLiteral("promptIcon"));
        QCOMPARE(m_timers->activeCount(), 0);
    }

    void failuresSetTheirFlagsAndRecordNothing() {
        int completed = 0;
        QObject context;
        NotificationCenter::defaultCenter().addObserver(Notifications::promptCompleted, &context,
                                                        [&](const QVariantMap&) { ++completed; });
        capture(QStringLiteral("a very long text"));
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
        m_texts->delegate->didReceiveText(QStringLiteral("par"));
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
        capture(QStringLiteral("Good."));
        model().handlePresetAction(PresetOnly{1});
        answer({QStringLiteral("Better.")});
        m_platform->log.clear();
        model().handlePostAction(action);
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));
        QCOMPARE(m_coordinator->hiddenActivating, editor);
        QVERIFY(model().resultText().isEmpty());
        QCOMPARE(model().state(), State::idle);
        QCOMPARE(m_platform->windowTracker->activated, QList<quint32>{editor.windowId});
        QTRY_COMPARE(m_platform->log.filter(QRegularExpression("^(write|key)")), expected);
        QVERIFY(model().requestHistory().isEmpty());
    }

    void copyKeepsTheWidgetOpen() {
        capture(QStringLiteral("Good."));
        model().handlePresetAction(PresetOnly{1});
        answer({QStringLiteral("Better.")});
        const int calls = m_coordinator->calls.size();
        model().handlePostAction(PostAction::copyToClipboard);
        QCOMPARE(m_platform->clipboard->text(), QStringLiteral("Better."));
        QCOMPARE(m_coordinator->calls.size(), calls);
        QCOMPARE(model().resultText(), QStringLiteral("Better."));

        model().handlePostAction(PostAction::discard);
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));
        QVERIFY(model().inputText().isEmpty());
        QVERIFY(model().requestHistory().isEmpty());

        // The tray's "close" asks the widget to go away the same way.
        capture(QStringLiteral("again"));
        NotificationCenter::defaultCenter().post(Notifications::widgetHideRequested);
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));
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
        type(QStringLiteral("zero ") + model().promptText());
        QCOMPARE(model().promptText().count('\n'), 1);
        QCOMPARE(QString(model().promptText()).replace('\n', ' '), QStringLiteral("zero ") + words);
        QVERIFY(model().promptText().indexOf('\n') <= 70);
    }

    void keyRules() {
        // Idle: Escape and Ctrl+H hide; a Settings window is never touched.
        capture(QStringLiteral("x"));
        QVERIFY(
            !model().handleKeyDown(key(VirtualKeys::escape, 0, QStringLiteral("Orvane Settings"))));
        QVERIFY(!m_coordinator->calls.contains("hide"));
        QVERIFY(model().handleKeyDown(key(4, ModifierFlags::command)));
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));
        capture(QStringLiteral("x"));
        QVERIFY(model().handleKeyDown(key(VirtualKeys::escape)));
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));

        // Sending: list keys pass, the toggle works, Escape stops.
        capture(QStringLiteral("x"));
        model().handlePresetAction(PresetOnly{1});
        QVERIFY(!model().handleKeyDown(key(VirtualKeys::downArrow)));
        QVERIFY(!model().handleKeyDown(key(VirtualKeys::returnKey)));
        QVERIFY(!model().handleKeyDown(key(15, ModifierFlags::command)));
        QVERIFY(!model().handleKeyUp(key(VirtualKeys::returnKey)));
        QVERIFY(model().handleKeyDown(
            key(VirtualKeys::x, ModifierFlags::command | ModifierFlags::shift)));
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("toggle"));
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
        model().setPromptText(QStringLiteral("m"));
        QVERIFY(!model().handleKeyUp(key(46)));
        QVERIFY(model().displayPromptActions());
        QVERIFY(!model().displayPostActions());
        model().setPromptText(QString());
        QVERIFY(!model().handleKeyUp(key(51)));
        QVERIFY(model().displayPostActions());
        QVERIFY(std::holds_alternative<PresetSearch>(presetKeys.last()));

        // Shift+Return and Ctrl+Return break the line instead of sending.
        model().setPromptText(QStringLiteral("a"));
        QVERIFY(model().handleKeyUp(key(VirtualKeys::returnKey, ModifierFlags::shift)));
        QVERIFY(model().handleKeyUp(key(VirtualKeys::returnKey, ModifierFlags::command)));
        QCOMPARE(model().promptText(), QStringLiteral("a\n\n"));
    }

    void keysArriveThroughTheApplicationFilter() {
        QWindow window;
        window.setTitle(QStringLiteral("Orvane"));
        window.show();
        window.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &window);
        capture(QStringLiteral("x"));
        QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("toggle"));
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(m_coordinator->calls.last(), QStringLiteral("hide"));

        window.setTitle(QStringLiteral("Orvane Settings"));
        capture(QStringLiteral("x"));
        const int calls = m_coordinator->calls.size();
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(m_coordinator->calls.size(), calls);
    }
};

QTEST_MAIN(InputModelTest)
#include "tst_inputmodel.moc"
