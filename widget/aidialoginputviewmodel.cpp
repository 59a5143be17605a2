#include "widget/aidialoginputviewmodel.h"

#include "core/logging.h"
#include "core/timer.h"
#include "core/widgetpresenter.h"
#include "platform/pasteboardmanager.h"
#include "platform/windowtracker.h"
#include "store/userstore.h"

#include <QTextBoundaryFinder>

AIDialogInputViewModel::AIDialogInputViewModel(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_presenter(dependencies.presenter)
    , m_userStore(dependencies.userStore)
    , m_windowTracker(dependencies.windowTracker)
    , m_timers(dependencies.timers)
    , m_conversation(std::move(dependencies.makeTextsService)) {}

AIDialogInputViewModel::~AIDialogInputViewModel() = default;

// --- What is shown follows the phase ---------------------------------------------

bool AIDialogInputViewModel::allowSend() const {
    return !m_promptText.isEmpty() && isSettled();
}

bool AIDialogInputViewModel::displayPromptActions() const {
    // Typing after a result brings the prompts back; an empty field shows the actions again.
    return m_phase == Phase::editing ||
           (isSettled() && m_promptEditedAfterAnswer && !m_promptText.isEmpty());
}

bool AIDialogInputViewModel::displayPostActions() const {
    return m_phase != Phase::editing && isSettled() &&
           (!m_promptEditedAfterAnswer || m_promptText.isEmpty());
}

bool AIDialogInputViewModel::showGenericError() const {
    return m_failure == Failure::generic;
}

bool AIDialogInputViewModel::showTooLongError() const {
    return m_failure == Failure::tooLong;
}

QString AIDialogInputViewModel::failureReason() const {
    return m_failure == Failure::generic ? m_failureReason : QString();
}

void AIDialogInputViewModel::setPhase(Phase phase, Failure failure) {
    if (phase == m_phase && failure == m_failure)
        return;
    m_phase = phase;
    m_failure = failure;
    if (failure == Failure::none)
        m_failureReason.clear();
    Q_EMIT shownChanged();
}

// --- Entry points -----------------------------------------------------------------

void AIDialogInputViewModel::handleInput(const WidgetInput& input) {
    take(input);
    m_presenter.showWidget();
}

void AIDialogInputViewModel::handleLateInput(const PasteboardManagerCopyItem& item) {
    const bool untouched =
        m_phase == Phase::editing && m_promptText.isEmpty() && m_conversation.history().isEmpty();
    if (m_waitsForText && untouched && m_previousApp &&
        m_previousApp->windowId == item.app.windowId)
        take(SetCopiedItem{item, true});
}

void AIDialogInputViewModel::take(const WidgetInput& input) {
    m_waitsForText = false;
    if (const auto* copied = std::get_if<SetCopiedItem>(&input)) {
        setInput(copied->item.text, true, InputSource::copied);
        m_inputItem = copied->item;
        m_previousApp = copied->item.app;
        if (copied->clearHistory)
            m_conversation.clear();
    } else {
        const auto& empty = std::get<SetEmptyItem>(input);
        m_waitsForText = empty.app.has_value();
        setInput(QString(), false, InputSource::typing);
        // Never the window of an earlier capture.
        m_inputItem.reset();
        m_previousApp = empty.app;
        if (empty.clearHistory)
            m_conversation.clear();
    }
    m_copiedTextToInput = false;
    setPromptText(QString());
    setResultText(QString());
    setNotice(QString());
    setPhase(Phase::editing);
    // Lets a benchmark tell a widget that shows the capture from an empty one.
    qCDebug(lcApplication, "Widget input: %d characters", int(m_inputText.size()));
}

void AIDialogInputViewModel::handlePresetAction(const PresetAction& action) {
    if (const auto* only = std::get_if<PresetOnly>(&action)) {
        run({only->id, std::nullopt});
        return;
    }
    const auto* preset = std::get_if<PresetChoice>(&action);
    const std::optional<PasteboardManagerCopyItem>& item =
        preset ? preset->item : std::get<CommandChoice>(action).item;
    if (!item && !isSettled())
        return;
    if (preset && preset->clearHistory)
        m_conversation.clear();
    if (item) {
        handleInput(SetCopiedItem{*item, false});
        m_sourceType = InputSource::hotkey;
        Q_EMIT inputTextChanged();
    }
    if (preset) {
        if (!m_displayInput) {
            if (m_promptText.trimmed().isEmpty()) {
                //% "Select some text first, or type the text for this prompt."
                setNotice(qtTrId("input.notice.noText"));
                return;
            }
            // Nothing was captured: the typed text is what the prompt works on.
            setInput(m_promptText, true, m_sourceType);
            m_copiedTextToInput = true;
        }
        setPromptText(QString());
        run({preset->id, std::nullopt});
        return;
    }
    if (m_copiedTextToInput) {
        setInput(QString(), false, m_sourceType);
        m_copiedTextToInput = false;
    }
    if (!m_promptText.isEmpty())
        run({std::nullopt, m_promptText});
}

void AIDialogInputViewModel::send() {
    handlePresetAction(CommandChoice{});
}

void AIDialogInputViewModel::insertLineBreak() {
    setPromptText(m_promptText + QLatin1Char('\n'));
}

// --- Generation -------------------------------------------------------------------

void AIDialogInputViewModel::run(const Conversation::Request& request) {
    if (!isSettled())
        return;
    ++m_generation;
    setNotice(QString());
    m_pendingTail.clear();
    m_receivedText = false;
    setResultText(QString());
    setPhase(Phase::streaming);
    m_runningTextCounter = 0;
    m_runningTextTimer = m_timers.createTimer();
    m_runningTextTimer->start(runningTextInterval, Timer::Mode::Repeating, [this] {
        m_runningTextCounter = (m_runningTextCounter + 1) % 4;
        Q_EMIT promptRunningPlaceholderChanged();
    });
    Q_EMIT promptRunningPlaceholderChanged();
    m_presenter.showWidget();
    m_conversation.start(request, m_inputText, m_userStore.deviceKey(), this);
    Q_EMIT promptStarted();
}

void AIDialogInputViewModel::endGeneration(Phase phase, Failure failure) {
    m_promptEditedAfterAnswer = false;
    m_runningTextTimer.reset();
    m_runningTextCounter = 0;
    Q_EMIT promptRunningPlaceholderChanged();
    setPhase(phase, failure);
    Q_EMIT promptCompleted();
}

void AIDialogInputViewModel::didReceiveText(const QString& text) {
    if (m_phase != Phase::streaming)
        return;
    m_receivedText = m_receivedText || !text.isEmpty();
    typeChunk(text);
}

void AIDialogInputViewModel::typeChunk(const QString& chunk) {
    const QString text = m_pendingTail + chunk;
    m_pendingTail.clear();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    QStringList characters;
    while (finder.toNextBoundary() != -1) {
        characters.append(text.mid(start, finder.position() - start));
        start = finder.position();
    }
    if (!characters.isEmpty())
        m_pendingTail = characters.takeLast();
    for (const QString& character : std::as_const(characters))
        queueReveal(character);
}

void AIDialogInputViewModel::queueReveal(const QString& character) {
    // One character per event-loop turn, behind everything queued before it.
    QMetaObject::invokeMethod(
        this,
        [this, character, generation = m_generation] {
            if (generation == m_generation)
                setResultText(m_resultText + character);
        },
        Qt::QueuedConnection);
}

void AIDialogInputViewModel::flushPendingTail() {
    if (!m_pendingTail.isEmpty())
        queueReveal(std::exchange(m_pendingTail, QString()));
}

void AIDialogInputViewModel::didFinish() {
    if (m_phase != Phase::streaming)
        return;
    flushPendingTail();
    // Recorded once the queued characters are on screen, so the history holds the whole answer.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation != m_generation || m_phase != Phase::streaming)
                return;
            m_conversation.finish(m_resultText);
            endGeneration(Phase::answered);
            m_presenter.showWidget();
        },
        Qt::QueuedConnection);
}

void AIDialogInputViewModel::didReceiveFailureReason(const QString& reason) {
    if (m_phase == Phase::streaming)
        m_failureReason = reason;
}

void AIDialogInputViewModel::didFailPromptTooLong() {
    if (m_phase != Phase::streaming)
        return;
    flushPendingTail();
    m_conversation.fail();
    endGeneration(m_receivedText ? Phase::cut : Phase::failed, Failure::tooLong);
}

void AIDialogInputViewModel::didFailGeneric() {
    if (m_phase != Phase::streaming)
        return;
    // The part that came stays visible, marked as cut.
    flushPendingTail();
    m_conversation.fail();
    endGeneration(m_receivedText ? Phase::cut : Phase::failed, Failure::generic);
}

void AIDialogInputViewModel::stopRunning() {
    if (m_phase != Phase::streaming)
        return;
    flushPendingTail();
    // Set first: the cancellation's own failure call must find the generation over.
    endGeneration(Phase::answered);
    m_conversation.stop();
}

// --- Widget-level commands --------------------------------------------------------

void AIDialogInputViewModel::reset() {
    m_waitsForText = false;
    m_conversation.clear();
    ++m_generation; // drops characters still queued
    setResultText(QString());
    setInput(QString(), false, m_sourceType);
    setPromptText(QString());
    setNotice(QString());
    setPhase(Phase::editing);
}

void AIDialogInputViewModel::dismissWidget() {
    widgetHidden();
    m_presenter.hideWidget(m_previousApp);
}

void AIDialogInputViewModel::widgetHidden() {
    if (m_pasting)
        return; // the widget hid for its own paste, which resets once it went out
    if (m_phase == Phase::streaming)
        stopRunning();
    reset();
}

void AIDialogInputViewModel::clearInput() {
    setInput(QString(), false, m_sourceType);
    if (isSettled())
        setPhase(Phase::editing);
}

void AIDialogInputViewModel::handlePostAction(PostAction action) {
    if (!isSettled() || m_pasting)
        return;
    switch (action) {
    case PostAction::replaceSelection:
    case PostAction::insertBelow:
    case PostAction::insertAtCursor:
        if (offersPaste())
            pasteResult(action);
        break;
    case PostAction::copyToClipboard:
        if (m_pasteboardManager)
            m_pasteboardManager->copyToClipboard(m_resultText);
        break;
    case PostAction::continueWithAnotherPrompt:
        setInput(m_resultText, true, InputSource::copied);
        setResultText(QString());
        setPhase(Phase::editing);
        break;
    case PostAction::regenerate:
        if (const std::optional<Conversation::Request> request = m_conversation.regenerate())
            run(*request);
        break;
    case PostAction::tryAgain:
        m_conversation.dropLastExchange();
        setPhase(Phase::editing);
        break;
    case PostAction::discard:
        reset();
        m_presenter.hideWidget(m_previousApp);
        break;
    }
}

std::optional<RunningApp> AIDialogInputViewModel::pasteTarget() const {
    const std::optional<RunningApp> app = m_inputItem ? m_inputItem->app : m_previousApp;
    return app && app->windowId != 0 ? app : std::nullopt;
}

void AIDialogInputViewModel::pasteResult(PostAction action) {
    const RunningApp app = *pasteTarget();
    if (!m_windowTracker.isAlive(app)) {
        //% "The window the text came from is closed, so nothing was pasted."
        setNotice(qtTrId("input.notice.sourceClosed"), true);
        return;
    }
    QString text = m_resultText;
    // Pasting the selection back with the answer below it works in every editor,
    // unlike moving the cursor to the selection's end. A selection that ends with its
    // line break keeps it after the answer, or the answer would run into the next line.
    if (action == PostAction::insertBelow && m_inputItem) {
        const QString& selection = m_inputItem->text;
        if (selection.endsWith(QLatin1Char('\n')))
            text = selection + text + QLatin1Char('\n');
        else
            text = selection + QLatin1Char('\n') + text;
    }
    m_pasting = true;
    m_windowTracker.activate(app, [self = QPointer(this), text, app](bool active) {
        if (!self)
            return;
        self->m_pasting = false;
        if (!active) {
            //% "The window the text came from did not come to the front, so nothing was pasted."
            self->setNotice(qtTrId("input.notice.sourceInactive"), true);
            self->m_presenter.showWidget();
            return;
        }
        const QPointer<PasteboardManager> manager = self->m_pasteboardManager;
        self->m_pasting = true; // hiding for the paste keeps nothing else from resetting
        self->m_presenter.hideWidget(std::nullopt);
        self->m_pasting = false;
        self->reset();
        if (manager)
            manager->pasteText(PasteboardManagerPasteItem{text, app, std::nullopt});
    });
}

void AIDialogInputViewModel::setNotice(const QString& notice, bool pasteRefused) {
    m_pasteRefused = pasteRefused;
    if (m_notice == notice)
        return;
    m_notice = notice;
    Q_EMIT shownChanged();
}

// --- Fields -----------------------------------------------------------------------

void AIDialogInputViewModel::setInput(const QString& text, bool displayed, InputSource source) {
    if (text == m_inputText && displayed == m_displayInput && source == m_sourceType)
        return;
    m_inputText = text;
    m_displayInput = displayed;
    m_sourceType = source;
    Q_EMIT inputTextChanged();
}

void AIDialogInputViewModel::setPromptText(const QString& value) {
    if (m_promptText == value)
        return;
    m_promptText = value;
    if (m_phase != Phase::editing && isSettled())
        m_promptEditedAfterAnswer = true;
    Q_EMIT promptTextChanged();
    Q_EMIT shownChanged();
}

void AIDialogInputViewModel::setResultText(const QString& value) {
    if (m_resultText == value)
        return;
    m_resultText = value;
    Q_EMIT resultTextChanged();
}

QString AIDialogInputViewModel::sourceTypeName() const {
    switch (m_sourceType) {
    case InputSource::typing:
        return QStringLiteral("typing");
    case InputSource::copied:
        return QStringLiteral("copied");
    case InputSource::hotkey:
        return QStringLiteral("hotkey");
    }
    return {};
}

QString AIDialogInputViewModel::promptPlaceholder() const {
    return qtTrId("input.prompt.placeholder");
}

QString AIDialogInputViewModel::promptRunningPlaceholder() const {
    return qtTrId(
        QByteArray("input.prompt.running." + QByteArray::number(m_runningTextCounter)).constData());
}
