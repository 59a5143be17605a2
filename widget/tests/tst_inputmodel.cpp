#include "widgetharness.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Phase = AIDialogInputViewModel::Phase;

namespace {
const RunningApp editor{77, 4242, u"mousepad"_s};
} // namespace

/** The widget's phases, the conversation it wraps, and what each phase shows. */
class InputModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WidgetHarness> h;

    AIDialogInputViewModel& model() { return *h->content->input(); }
    TextsServiceDelegate& service() { return *h->texts.delegate; }
    const QList<RequestData>& history() { return model().conversation().history(); }

    void capture(const QString& text) {
        model().handleInput(
            SetCopiedItem{PasteboardManagerCopyItem{editor, text, std::nullopt}, true});
    }
    // The service streams the chunks and ends; waits until the answer is recorded.
    void answer(const QStringList& chunks) {
        for (const QString& chunk : chunks)
            service().didReceiveText(chunk);
        service().didFinish();
        QTRY_COMPARE(model().phase(), Phase::answered);
    }

private Q_SLOTS:
    void init() {
        h = std::make_unique<WidgetHarness>();
        h->coordinator.userStore.signedIn = User{u"a@b.c"_s, 1, u"device-key"_s};
        h->makeContent();
    }
    void cleanup() { h.reset(); }

    void stopKeepsThePartAndRegenerateRepeatsWithTheShorterHistory() {
        capture(u"Teh sentence"_s);
        QSignalSpy completed(&model(), &AIDialogInputViewModel::promptCompleted);
        model().handlePresetAction(PresetChoice{7, std::nullopt, false});
        QCOMPARE(h->texts.calls.last().token, u"device-key"_s);
        QVERIFY(!model().displayPromptActions() && !model().allowSend());
        service().didReceiveText(u"The sen"_s);
        model().stopRunning();
        QTRY_COMPARE(model().resultText(), u"The sen"_s); // the partial answer stays
        QCOMPARE(model().phase(), Phase::answered);
        QVERIFY(model().displayPostActions());
        QCOMPARE(h->texts.cancels, 1);
        // The cancellation's own failure changes nothing.
        service().didFailGeneric();
        service().didFinish();
        QVERIFY(!model().showGenericError());
        QCOMPARE(completed.count(), 1);

        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(h->texts.calls.last().presetId, 7);
        answer({u"The sentence."_s});
        model().setPromptText(u"make it formal"_s);
        QVERIFY(model().displayPromptActions()); // typing after a result shows the prompts
        model().send();
        QCOMPARE(h->texts.calls.last().history.size(), 1);
        answer({u"second"_s});
        model().handlePostAction(PostAction::regenerate);
        QCOMPARE(h->texts.calls.last().command, u"make it formal"_s);
        QCOMPARE(h->texts.calls.last().history,
                 (QList<RequestData>{{7, std::nullopt, u"Teh sentence"_s, u"The sentence."_s}}));
        answer({u"third"_s});
        QCOMPARE(history().size(), 2);
        QCOMPARE(completed.count(), 4);

        model().handlePostAction(PostAction::tryAgain);
        QCOMPARE(history().size(), 1);
    }

    void typedTextBecomesTheInputOfAPrompt() {
        model().handleInput(SetEmptyItem{true, editor, true});
        // A prompt needs text: the typed text is what it then works on.
        model().handlePresetAction(PresetChoice{5, std::nullopt, false});
        QVERIFY(h->texts.calls.isEmpty());
        QCOMPARE(model().phase(), Phase::editing);
        QCOMPARE(model().notice(), u"input.notice.noText"_s);
        model().setPromptText(u"fix this"_s);
        QVERIFY(model().allowSend());
        model().handlePresetAction(PresetChoice{5, std::nullopt, false});
        QCOMPARE(h->texts.calls.last().text, u"fix this"_s);
        QVERIFY(model().notice().isEmpty());
        QVERIFY(model().displayInput());
        QVERIFY(model().promptText().isEmpty());
        model().handlePresetAction(PresetOnly{9}); // ignored while an answer runs
        answer({u"Fix this."_s});
        model().send(); // nothing typed
        QCOMPARE(h->texts.calls.size(), 1);
    }

    void aTypedLineBreakSurvivesTheWrapping() {
        capture(u"x"_s);
        // Wider than the field: the view wraps it after "alpha".
        model().setPromptText(QString(60, u'a') + u" alpha beta gamma delta"_s);
        h->timers.advance(20ms);
        // The user ends a line with the same word and goes on below it.
        model().setPromptText(model().promptText() + u" alpha"_s);
        model().insertLineBreak();
        h->timers.advance(20ms);
        model().setPromptText(model().promptText() + u"more"_s);
        h->timers.advance(20ms);
        model().send();
        QCOMPARE(*h->texts.calls.last().command,
                 QString(60, u'a') + u" alpha beta gamma delta alpha\nmore"_s);
    }

    // The capture gave up before a slow copy came: the widget that opened empty takes it,
    // unless the user already began something there or the copy is from another window.
    void aLateCopyFillsOnlyAnUntouchedWidget_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("taken");
        QTest::newRow("untouched") << QString() << true;
        QTest::newRow("from another window") << u"other"_s << false;
        QTest::newRow("typed") << u"typed"_s << false;
        QTest::newRow("hidden") << u"hidden"_s << false;
    }
    void aLateCopyFillsOnlyAnUntouchedWidget() {
        QFETCH(QString, meanwhile);
        QFETCH(bool, taken);
        model().handleInput(SetEmptyItem{true, editor, true});
        if (meanwhile == u"typed"_s)
            model().setPromptText(u"Fix"_s);
        else if (meanwhile == u"hidden"_s)
            model().widgetHidden();
        RunningApp source = editor;
        if (meanwhile == u"other"_s)
            source.windowId += 1;
        Q_EMIT h->content->pasteboardManager()->lateSelection({source, u"slow text"_s, {}});
        QCOMPARE(model().displayInput(), taken);
        QCOMPARE(model().inputText(), taken ? u"slow text"_s : QString());
        QCOMPARE(h->coordinator.calls.count(u"showWidget"_s), 1);
    }

    void revealIsOneCharacterPerAppendInOrder() {
        capture(u"in"_s);
        model().handlePresetAction(PresetOnly{1});
        QStringList appended;
        connect(&model(), &AIDialogInputViewModel::resultTextChanged, this,
                [&, previous = QString()]() mutable {
                    appended << model().resultText().mid(previous.size());
                    previous = model().resultText();
                });
        const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
        // The second chunk arrives before the first is on screen; the third completes an "e".
        service().didReceiveText(u"a\u00e9"_s + thumb + u"z"_s);
        service().didReceiveText(u"be"_s);
        service().didReceiveText(QString(QChar(0x0301)));
        service().didFinish();
        QTRY_COMPARE(model().phase(), Phase::answered);
        QCOMPARE(appended, (QStringList{u"a"_s, u"\u00e9"_s, thumb, u"z"_s, u"b"_s, u"e\u0301"_s}));
        QCOMPARE(history().last().response, model().resultText());
        QCOMPARE(model().promptRunningPlaceholder(), u"input.prompt.running.0"_s);
        QCOMPARE(h->timers.activeCount(), 0);
    }

    void failuresShowWhatCameAndOfferNoPaste_data() {
        QTest::addColumn<QString>("part");
        QTest::addColumn<bool>("tooLong");
        QTest::addColumn<Phase>("phase");
        QTest::newRow("too long") << QString() << true << Phase::failed;
        QTest::newRow("cut mid-answer") << u"They're go"_s << false << Phase::cut;
    }
    void failuresShowWhatCameAndOfferNoPaste() {
        QFETCH(QString, part);
        QFETCH(bool, tooLong);
        QFETCH(Phase, phase);
        capture(u"Their going"_s);
        QSignalSpy completed(&model(), &AIDialogInputViewModel::promptCompleted);
        model().handlePresetAction(PresetOnly{1});
        if (!part.isEmpty())
            service().didReceiveText(part);
        if (tooLong)
            service().didFailPromptTooLong();
        else
            service().didFailGeneric();
        service().didFinish();
        QTRY_COMPARE(model().resultText(), part);
        QCOMPARE(model().phase(), phase);
        QCOMPARE(model().isResultCut(), phase == Phase::cut);
        QCOMPARE(model().showTooLongError(), tooLong);
        QCOMPARE(model().showGenericError(), !tooLong);
        QVERIFY(model().displayPostActions() && !model().offersPaste());
        QCOMPARE(completed.count(), 1);
        QVERIFY(history().isEmpty());

        model().handlePostAction(PostAction::replaceSelection);
        QVERIFY(!h->coordinator.calls.contains(u"hideWidget"_s));
        model().handlePostAction(PostAction::regenerate); // nothing complete to repeat
        QCOMPARE(h->texts.calls.size(), 1);
        model().handlePostAction(PostAction::tryAgain);
        QVERIFY(!model().showGenericError() && !model().showTooLongError());
    }

    // A source that cannot be brought back gets no paste: the answer stays, with Copy first
    // and highlighted instead of the paste actions.
    void pastesOnlyIntoTheWindowTheTextCameFrom() {
        FakeWindowTracker& windows = *h->platform.windowTracker;
        capture(u"Teh\n"_s);
        model().handlePresetAction(PresetChoice{7, std::nullopt, false});
        answer({u"The"_s});
        windows.unresponsive = {editor.windowId};
        h->platform.log.clear();
        model().handlePostAction(PostAction::insertBelow);
        QTRY_COMPARE(model().notice(), u"input.notice.sourceInactive"_s);
        QCOMPARE(windows.activated, QList{editor.windowId});
        QVERIFY(h->platform.log.isEmpty());
        QCOMPARE(model().resultText(), u"The"_s);
        QVERIFY(!model().offersPaste());
        const AIDialogPostActionsViewModel& actions = *h->content->postActions();
        QCOMPARE(actions.selectedItem(), AIDialogPostActionsViewModel::Action::copyToClipboard);
        QCOMPARE(actions.list().first(), AIDialogPostActionsViewModel::Action::copyToClipboard);
        // The source coming to the front late does not take the explanation away.
        windows.frontmost = editor;
        h->content->setWindowActive(false);
        for (int i = 0; i < 20; ++i)
            h->timers.advance(20ms);
        QVERIFY(!h->coordinator.calls.contains(u"hideWidget"_s));
    }
};

QTEST_MAIN(InputModelTest)
#include "tst_inputmodel.moc"
