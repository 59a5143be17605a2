#include "widget/aidialoginputviewmodel.h"

#include "core/maincoordinatorprotocol.h"
#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"
#include "platform/windowtracker.h"
#include "shortcuts/localeventmonitor.h"
#include "store/userstore.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTextBoundaryFinder>
#include <QWindow>

namespace {

constexpr int keyH = 4;
constexpr int keyR = 15;

QString localized(const char* key) {
    return qtTrId(key);
}

QString runningPlaceholder(int counter) {
    return localized(QByteArray("input.prompt.running." + QByteArray::number(counter)).constData());
}

bool isSettingsWindow(const WidgetKeyEvent& event) {
    return event.windowTitle.endsWith(QLatin1String("Settings"));
}

bool isListKey(int code) {
    return code == VirtualKeys::downArrow || code == VirtualKeys::upArrow ||
           code == VirtualKeys::returnKey;
}

} // namespace

AIDialogInputViewModel::AIDialogInputViewModel(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_coordinator(dependencies.coordinator)
    , m_windowTracker(dependencies.windowTracker)
    , m_timers(dependencies.timers)
    , m_makeTextsService(std::move(dependencies.makeTextsService))
    , m_deferred(dependencies.timers)
    , m_promptRunningPlaceholder(runningPlaceholder(0)) {
    NotificationCenter::defaultCenter().addObserver(
        Notifications::widgetHideRequested, this, [this](const QVariantMap&) { dismissWidget(); });

    m_keyMonitor = std::make_unique<Shortcuts::LocalEventMonitor>(
        QList<QEvent::Type>{QEvent::KeyPress, QEvent::KeyRelease},
        [this](QEvent* event) -> QEvent* {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QWindow* window = QGuiApplication::focusWindow();
            const auto translated = widgetKeyEvent(*key, window ? window->title() : QString());
            if (!translated)
                return event;
            const bool swallow = event->type() == QEvent::KeyPress ? handleKeyDown(*translated)
                                                                   : handleKeyUp(*translated);
            return swallow ? nullptr : event;
        });
    m_keyMonitor->start();
}

AIDialogInputViewModel::~AIDialogInputViewModel() = default;

// --- Entry points ---------------------------------------------------------------

std::function<void(WidgetInput)> AIDialogInputViewModel::onInput() {
    return [self = QPointer(this)](const WidgetInput& input) {
        if (self)
            self->handleInput(input);
    };
}

std::function<void(PresetAction)> AIDialogInputViewModel::onPresetAction() {
    return [self = QPointer(this)](const PresetAction& action) {
        if (self)
            self->handlePresetAction(action);
    };
}

std::function<void(PostAction)> AIDialogInputViewModel::onPostAction() {
    return [self = QPointer(this)](PostAction action) {
        if (self)
            self->handlePostAction(action);
    };
}

void AIDialogInputViewModel::handleInput(const WidgetInput& input) {
    if (const auto* copied = std::get_if<SetCopiedItem>(&input)) {
        setSourceType(InputSource::copied);
        setDisplayInput(true);
        setInputText(copied->item.text);
        m_inputItem = copied->item;
        setPromptText(QString());
        setResultText(QString());
        m_previousApp = copied->item.app;
        setDisplayPromptActions(true);
        setDisplayPostActions(false);
        if (onKeyInput)
            onKeyInput(PresetSearch{});
        if (copied->clearHistory)
            m_requestHistory.clear();
        if (onPostKeyInput)
            onPostKeyInput(copied->item.selectedRange ? PostMode::all : PostMode::noBackPast);
    } else {
        const auto& empty = std::get<SetEmptyItem>(input);
        setSourceType(InputSource::typing);
        setInputText(QString());
        setPromptText(QString());
        setResultText(QString());
        setDisplayInput(false);
        m_previousApp = empty.app;
        setDisplayPromptActions(true);
        setDisplayPostActions(false);
        if (onKeyInput)
            onKeyInput(PresetSearch{});
        if (empty.clearHistory)
            m_requestHistory.clear();
    }
    setShowGenericError(false);
    setShowTooLongError(false);
    // Lets a benchmark tell a widget that shows the capture from an empty one.
    m_logger.debug(QStringLiteral("Widget input: %1 characters").arg(m_inputText.size()));
    m_coordinator.showWidget();
}

void AIDialogInputViewModel::handlePresetAction(const PresetAction& action) {
    if (const auto* only = std::get_if<PresetOnly>(&action)) {
        runPreset(only->id);
    } else if (const auto* preset = std::get_if<PresetChoice>(&action)) {
        if (preset->clearHistory)
            m_requestHistory.clear();
        if (preset->item) {
            handleInput(SetCopiedItem{*preset->item, false});
            setSourceType(InputSource::hotkey);
        }
        if (!m_displayInput) {
            // Nothing was captured: the typed text is what the prompt works on.
            setDisplayInput(true);
            setInputText(m_promptText);
            m_copiedTextToInput = true;
        }
        setPromptText(QString());
        runPreset(preset->id);
    } else {
        const auto& command = std::get<CommandChoice>(action);
        if (command.item) {
            handleInput(SetCopiedItem{*command.item, false});
            setSourceType(InputSource::hotkey);
        }
        if (m_copiedTextToInput) {
            setDisplayInput(false);
            setInputText(QString());
            m_copiedTextToInput = false;
        }
        runCommand(m_promptText);
    }
}

void AIDialogInputViewModel::send() {
    handlePresetAction(CommandChoice{});
}

// --- Generation -----------------------------------------------------------------

void AIDialogInputViewModel::runPreset(qint64 id) {
    if (m_state != State::idle && m_state != State::sent)
        return;
    m_currentPromptId = id;
    setState(State::sending);
    startGeneration(Mode::preset);
    m_textService->sendPreset(id, m_inputText, m_requestHistory, this);
    NotificationCenter::defaultCenter().post(Notifications::promptStarted);
}

void AIDialogInputViewModel::runCommand(const QString& command) {
    if ((m_state != State::idle && m_state != State::sent) || command.isEmpty())
        return;
    setState(State::sending);
    startGeneration(Mode::command);
    m_textService->sendCommand(command, m_inputText, m_requestHistory, this);
    NotificationCenter::defaultCenter().post(Notifications::promptStarted);
}

void AIDialogInputViewModel::startGeneration(Mode mode) {
    if (!m_runningTextTimer) {
        m_runningTextTimer = m_timers.createTimer();
        m_runningTextTimer->start(runningTextInterval, Timer::Mode::Repeating,
                                  [this] { updateRunningText(); });
    }
    m_mode = mode;
    m_coordinator.showWidget();
    ++m_generation;
    m_pendingTail.clear();
    const auto& user = m_coordinator.getUserStore().user();
    m_textService = m_makeTextsService(user ? user->deviceKey : QString());
}

void AIDialogInputViewModel::updateRunningText() {
    m_runningTextCounter = (m_runningTextCounter + 1) % 4;
    setPromptRunningPlaceholder(runningPlaceholder(m_runningTextCounter));
}

void AIDialogInputViewModel::stopRunningText() {
    m_runningTextTimer.reset();
    m_runningTextCounter = 0;
    setPromptRunningPlaceholder(runningPlaceholder(0));
}

void AIDialogInputViewModel::didReceiveText(const QString& text) {
    if (m_state == State::sending)
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
    if (m_state != State::sending)
        return;
    flushPendingTail();
    // Recorded once the queued characters are on screen, so the history holds the whole answer.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation == m_generation && m_state == State::sending)
                finishGeneration();
        },
        Qt::QueuedConnection);
}

void AIDialogInputViewModel::finishGeneration() {
    if (m_mode == Mode::command) {
        if (!m_isRegenerating)
            m_lastCommand = m_promptText;
        m_requestHistory.append(RequestData{std::nullopt, m_promptText, m_inputText, m_resultText});
    } else if (m_mode == Mode::preset) {
        if (!m_isRegenerating)
            m_lastPromptId = m_currentPromptId;
        m_requestHistory.append(
            RequestData{m_currentPromptId, std::nullopt, m_inputText, m_resultText});
    }
    setState(State::sent);
    m_isRegenerating = false;
    m_coordinator.showWidget();
}

void AIDialogInputViewModel::didFailPromptTooLong() {
    if (m_state != State::sending)
        return;
    flushPendingTail();
    setShowTooLongError(true);
    setState(State::sent);
}

void AIDialogInputViewModel::didFailGeneric() {
    if (m_state != State::sending)
        return;
    flushPendingTail();
    setShowGenericError(true);
    setState(State::sent);
}

void AIDialogInputViewModel::stopRunning() {
    flushPendingTail();
    if (!m_isRegenerating && m_mode) {
        if (*m_mode == Mode::command)
            m_lastCommand = m_promptText;
        else
            m_lastPromptId = m_currentPromptId;
    }
    setState(State::sent);
    if (m_textService)
        m_textService->cancel();
    m_mode.reset();
    m_currentPromptId.reset();
    setDisplayPostActions(true);
    setDisplayPromptActions(false);
    m_isRegenerating = false;
    setShowGenericError(false);
    setShowTooLongError(false);
    NotificationCenter::defaultCenter().post(Notifications::promptCompleted);
    stopRunningText();
}

// --- Widget-level commands ------------------------------------------------------

void AIDialogInputViewModel::dismissWidget() {
    m_requestHistory.clear();
    setResultText(QString());
    setInputText(QString());
    setDisplayInput(false);
    setDisplayPostActions(false);
    setDisplayPromptActions(false);
    m_coordinator.hideWidget(m_previousApp);
}

void AIDialogInputViewModel::clearInput() {
    setInputText(QString());
    setDisplayInput(false);
    setState(State::idle);
    setShowGenericError(false);
    setShowTooLongError(false);
}

void AIDialogInputViewModel::dropLastExchange() {
    if (!m_requestHistory.isEmpty())
        m_requestHistory.removeLast();
}

void AIDialogInputViewModel::handlePostAction(PostAction action) {
    switch (action) {
    case PostAction::replaceSelection:
    case PostAction::insertBelow:
        pasteResult(action == PostAction::insertBelow);
        break;
    case PostAction::copyToClipboard:
        if (m_pasteboardManager)
            m_pasteboardManager->copyToClipboard(m_resultText);
        break;
    case PostAction::continueWithAnotherPrompt:
        setState(State::idle);
        setSourceType(InputSource::copied);
        setInputText(m_resultText);
        setResultText(QString());
        setDisplayInput(true);
        setDisplayPostActions(false);
        setDisplayPromptActions(true);
        break;
    case PostAction::regenerate:
        dropLastExchange();
        m_isRegenerating = true;
        if (m_lastPromptId)
            runPreset(*m_lastPromptId);
        if (m_lastCommand)
            runCommand(*m_lastCommand);
        break;
    case PostAction::tryAgain:
        dropLastExchange();
        setState(State::idle);
        setDisplayPostActions(false);
        setDisplayPromptActions(true);
        break;
    case PostAction::discard:
        m_requestHistory.clear();
        setShowGenericError(false);
        setShowTooLongError(false);
        setResultText(QString());
        setInputText(QString());
        setDisplayInput(false);
        setDisplayPostActions(false);
        setDisplayPromptActions(true);
        m_coordinator.hideWidget(m_previousApp);
        break;
    }
}

void AIDialogInputViewModel::pasteResult(bool insertBelow) {
    const QString result = m_resultText;
    const std::optional<RunningApp> app =
        m_inputItem ? std::optional<RunningApp>(m_inputItem->app) : std::nullopt;
    const std::optional<TextRange> range = m_inputItem ? m_inputItem->selectedRange : std::nullopt;
    m_requestHistory.clear();
    if (m_pasteboardManager && app && app->windowId != 0) {
        // Paste only once the window manager has given the captured window the focus back.
        m_windowTracker.activate(*app, [manager = m_pasteboardManager,
                                        item = PasteboardManagerPasteItem{result, app, range},
                                        insertBelow](bool) {
            if (manager)
                manager->pasteText(item, insertBelow);
        });
    }
    setState(State::idle);
    setResultText(QString());
    setInputText(QString());
    setDisplayInput(false);
    setDisplayPostActions(false);
    setDisplayPromptActions(false);
    m_coordinator.hideWidget(m_previousApp);
}

// --- Keyboard -------------------------------------------------------------------

bool AIDialogInputViewModel::handleKeyDown(const WidgetKeyEvent& event) {
    if (isSettingsWindow(event))
        return false;
    if (event.keyCode == VirtualKeys::escape && m_state == State::sending) {
        stopRunning();
        return true;
    }
    const bool settled = m_state == State::idle || m_state == State::sent;
    if (settled && (event.keyCode == VirtualKeys::escape ||
                    (event.keyCode == keyH && event.has(ModifierFlags::command)))) {
        dismissWidget();
        return true;
    }
    if (event.keyCode == VirtualKeys::x &&
        event.has(ModifierFlags::command | ModifierFlags::shift)) {
        m_coordinator.toggleWidget();
        return true;
    }
    if (!settled)
        return false;
    if (isListKey(event.keyCode))
        return true; // they act on key up
    return event.keyCode == keyR && event.has(ModifierFlags::command);
}

bool AIDialogInputViewModel::handleKeyUp(const WidgetKeyEvent& event) {
    if (isSettingsWindow(event) || (m_state != State::idle && m_state != State::sent))
        return false;
    if (event.keyCode == VirtualKeys::returnKey &&
        (event.modifierFlags & (ModifierFlags::command | ModifierFlags::shift))) {
        setPromptText(m_promptText + QLatin1Char('\n'));
        return true;
    }
    if (m_displayPromptActions) {
        if (onKeyInput)
            onKeyInput(event);
    } else if (m_displayPostActions) {
        if (onPostKeyInput)
            onPostKeyInput(event);
    }
    if (isListKey(event.keyCode))
        return true;
    if (m_displayPromptActions && onKeyInput)
        onKeyInput(PresetSearch{m_promptText});
    // Typing after a result brings the prompts back; an empty field shows the actions again.
    const bool showActions = m_state == State::sent && m_promptText.isEmpty();
    setDisplayPostActions(showActions);
    setDisplayPromptActions(!showActions);
    return false;
}

// --- Prompt field wrapping ------------------------------------------------------

void AIDialogInputViewModel::rewrapPromptText(const QString& value) {
    QString text = value;
    for (const QString& split : std::as_const(m_lastSplits)) {
        QString joined = split;
        joined.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(split, joined);
    }
    m_lastSplits.clear();
    const QString wrapped = wrap(text);
    if (wrapped != value)
        setPromptText(wrapped);
}

QString AIDialogInputViewModel::wrap(const QString& text) {
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    if (newline < 0)
        return text.size() <= wrapLimit ? text : breakLine(text, wrapLimit);
    if (newline <= wrapLimit)
        return text.left(newline + 1) + wrap(text.mid(newline + 1));
    return breakLine(text, wrapLimit);
}

QString AIDialogInputViewModel::breakLine(const QString& text, int limit) {
    qsizetype position = -1;
    for (qsizetype i = std::min<qsizetype>(limit, text.size()) - 1; i >= 0; --i) {
        if (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')) {
            position = i;
            break;
        }
    }
    if (position < 0)
        return text;
    if (position >= 5)
        m_lastSplits.append(text.mid(position - 3, 3) + QLatin1Char('\n'));
    return text.left(position) + QLatin1Char('\n') + wrap(text.mid(position + 1));
}

// --- Fields and their reactions -------------------------------------------------

void AIDialogInputViewModel::setInputText(const QString& value) {
    const bool changed = m_inputText != value;
    m_inputText = value;
    if (changed)
        Q_EMIT inputTextChanged();
    setState(State::idle);
    updateAllowSend();
}

void AIDialogInputViewModel::setPromptText(const QString& value) {
    const bool changed = m_promptText != value;
    m_promptText = value;
    if (changed)
        Q_EMIT promptTextChanged();
    updateAllowSend();
    m_deferred.after(rewrapDelay, [this, value] { rewrapPromptText(value); });
}

void AIDialogInputViewModel::setState(State value) {
    const bool changed = m_state != value;
    m_state = value;
    setPromptIconColor(QStringLiteral("promptIcon"));
    switch (value) {
    case State::none:
    case State::error:
        break;
    case State::idle:
        updateAllowSend();
        m_currentPromptId.reset();
        setDisplayPostActions(false);
        break;
    case State::sending:
        setPromptIconColor(QStringLiteral("promptIconRunning"));
        setAllowSend(false);
        setResultText(QString());
        setDisplayPromptActions(false);
        setDisplayPostActions(false);
        if (!m_isRegenerating) {
            m_lastPromptId.reset();
            m_lastCommand.reset();
        }
        setShowGenericError(false);
        setShowTooLongError(false);
        break;
    case State::sent:
        updateAllowSend();
        setDisplayPromptActions(false);
        setDisplayPostActions(true);
        m_mode.reset();
        m_currentPromptId.reset();
        stopRunningText();
        NotificationCenter::defaultCenter().post(Notifications::promptCompleted);
        break;
    }
    if (changed)
        Q_EMIT stateChanged();
}

void AIDialogInputViewModel::updateAllowSend() {
    setAllowSend(!m_promptText.isEmpty() && (m_state == State::idle || m_state == State::sent));
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
    return localized("input.prompt.placeholder");
}

#define ORVANE_SETTER(name, member, type, signal)                                                  \
    void AIDialogInputViewModel::name(type value) {                                                \
        if (member == value)                                                                       \
            return;                                                                                \
        member = value;                                                                            \
        Q_EMIT signal();                                                                           \
    }

ORVANE_SETTER(setDisplayInput, m_displayInput, bool, displayInputChanged)
ORVANE_SETTER(setResultText, m_resultText, const QString&, resultTextChanged)
ORVANE_SETTER(setDisplayPromptActions, m_displayPromptActions, bool, displayPromptActionsChanged)
ORVANE_SETTER(setDisplayPostActions, m_displayPostActions, bool, displayPostActionsChanged)
ORVANE_SETTER(setShowGenericError, m_showGenericError, bool, showGenericErrorChanged)
ORVANE_SETTER(setShowTooLongError, m_showTooLongError, bool, showTooLongErrorChanged)
ORVANE_SETTER(setAllowSend, m_allowSend, bool, allowSendChanged)
ORVANE_SETTER(setPromptIconColor, m_promptIconColor, const QString&, promptIconColorChanged)
ORVANE_SETTER(setPromptRunningPlaceholder, m_promptRunningPlaceholder, const QString&,
              promptRunningPlaceholderChanged)
ORVANE_SETTER(setSourceType, m_sourceType, InputSource, sourceTypeChanged)

#undef ORVANE_SETTER
