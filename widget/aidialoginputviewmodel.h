#pragma once

#include "service/textsservice.h"
#include "widget/conversation.h"
#include "widget/widgettypes.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class UserStoreProtocol;
class WidgetPresenter;
class PasteboardManager;
class Timer;
class TimerSource;
class WindowTrackerProtocol;

/**
 * Everything the widget shows between a capture and the paste: the captured text, the
 * prompt field and the streamed answer. It keeps one phase; which panel, which error
 * lines and whether sending is allowed all follow from it. The conversation itself
 * (history, regenerate) is a Conversation it wraps.
 */
class AIDialogInputViewModel final : public QObject, public TextsServiceDelegate {
    Q_OBJECT
    Q_PROPERTY(QString inputText READ inputText NOTIFY inputTextChanged)
    Q_PROPERTY(bool displayInput READ displayInput NOTIFY inputTextChanged)
    Q_PROPERTY(QString sourceType READ sourceTypeName NOTIFY inputTextChanged)
    Q_PROPERTY(QString promptText READ promptText WRITE setPromptText NOTIFY promptTextChanged)
    Q_PROPERTY(QString promptPlaceholder READ promptPlaceholder CONSTANT)
    Q_PROPERTY(QString promptRunningPlaceholder READ promptRunningPlaceholder NOTIFY
                   promptRunningPlaceholderChanged)
    Q_PROPERTY(QString resultText READ resultText NOTIFY resultTextChanged)
    Q_PROPERTY(Phase phase READ phase NOTIFY shownChanged)
    Q_PROPERTY(bool sending READ isSending NOTIFY shownChanged)
    Q_PROPERTY(bool allowSend READ allowSend NOTIFY shownChanged)
    Q_PROPERTY(bool displayPromptActions READ displayPromptActions NOTIFY shownChanged)
    Q_PROPERTY(bool displayPostActions READ displayPostActions NOTIFY shownChanged)
    Q_PROPERTY(bool showGenericError READ showGenericError NOTIFY shownChanged)
    Q_PROPERTY(bool showTooLongError READ showTooLongError NOTIFY shownChanged)
    /** The service's classified reason for the failure shown ("" for none). */
    Q_PROPERTY(QString failureReason READ failureReason NOTIFY shownChanged)
    /** The answer shown ended early: it is a part of an answer. */
    Q_PROPERTY(bool resultCut READ isResultCut NOTIFY shownChanged)
    /** Why the answer was not pasted, or why a prompt did not run ("" for none). */
    Q_PROPERTY(QString notice READ notice NOTIFY shownChanged)

public:
    /** Where the widget is between a capture and the paste. */
    enum class Phase {
        editing,   ///< choosing a prompt or typing a command
        streaming, ///< an answer arrives
        answered,  ///< an answer is complete, or the user stopped it
        failed,    ///< the generation failed before any text came
        cut        ///< the generation failed after a part of the answer came
    };
    Q_ENUM(Phase)
    enum class InputSource { typing, copied, hotkey };
    enum class Failure { none, tooLong, generic };

    static constexpr std::chrono::milliseconds runningTextInterval{250};

    struct Dependencies {
        WidgetPresenter& presenter;
        UserStoreProtocol& userStore;
        WindowTrackerProtocol& windowTracker;
        TimerSource& timers;
        TextsServiceFactory makeTextsService;
    };

    explicit AIDialogInputViewModel(Dependencies dependencies, QObject* parent = nullptr);
    ~AIDialogInputViewModel() override;

    void setPasteboardManager(PasteboardManager* manager) { m_pasteboardManager = manager; }

    /** A capture (or an empty start) opens the widget on it. */
    void handleInput(const WidgetInput& input);
    /** A copy that came after an empty start: taken while the widget still waits for text
     * from that window and nothing has been typed or asked. */
    void handleLateInput(const PasteboardManagerCopyItem& item);
    void handlePresetAction(const PresetAction& action);
    void handlePostAction(PostAction action);

    Q_INVOKABLE void clearInput();
    Q_INVOKABLE void stopRunning();
    /** The send control: runs the typed text the way Return in the prompt list does. */
    Q_INVOKABLE void send();
    /** Hides the widget and forgets the conversation. */
    void dismissWidget();
    /** The widget was hidden (by itself or from outside): an answer stops, all is forgotten. */
    void widgetHidden();
    /** Shift+Return in the prompt field: a line break the user typed. */
    void insertLineBreak();

    // TextsServiceDelegate
    void didReceiveText(const QString& text) override;
    void didFinish() override;
    void didFailPromptTooLong() override;
    void didFailGeneric() override;
    void didReceiveFailureReason(const QString& reason) override;

    [[nodiscard]] const QString& inputText() const { return m_inputText; }
    [[nodiscard]] bool displayInput() const { return m_displayInput; }
    [[nodiscard]] InputSource sourceType() const { return m_sourceType; }
    [[nodiscard]] QString sourceTypeName() const;
    [[nodiscard]] const QString& promptText() const { return m_promptText; }
    void setPromptText(const QString& value);
    [[nodiscard]] QString promptPlaceholder() const;
    [[nodiscard]] QString promptRunningPlaceholder() const;
    [[nodiscard]] const QString& resultText() const { return m_resultText; }

    [[nodiscard]] Phase phase() const { return m_phase; }
    [[nodiscard]] bool isSending() const { return m_phase == Phase::streaming; }
    [[nodiscard]] bool isSettled() const { return m_phase != Phase::streaming; }
    [[nodiscard]] bool allowSend() const;
    [[nodiscard]] bool displayPromptActions() const;
    [[nodiscard]] bool displayPostActions() const;
    [[nodiscard]] bool showGenericError() const;
    [[nodiscard]] bool showTooLongError() const;
    [[nodiscard]] QString failureReason() const;
    [[nodiscard]] bool isResultCut() const { return m_phase == Phase::cut; }
    /** Whether the answer shown may be pasted back: only a complete one, while its window is there.
     */
    [[nodiscard]] bool offersPaste() const {
        return m_phase == Phase::answered && m_notice.isEmpty() && pasteTarget();
    }
    /** Nothing was selected at the capture, or in a terminal: the answer goes in at the cursor. */
    [[nodiscard]] bool pastesAtCursor() const {
        return !m_inputItem || m_inputItem->pastesAtCursorOnly;
    }
    [[nodiscard]] const QString& notice() const { return m_notice; }
    /** A paste waits for its window to come to the front. */
    [[nodiscard]] bool isPasting() const { return m_pasting; }
    /** The widget says why nothing was pasted; it stays up even if focus moves late. */
    [[nodiscard]] bool explainsRefusedPaste() const { return m_pasteRefused; }

    [[nodiscard]] const Conversation& conversation() const { return m_conversation; }
    [[nodiscard]] const std::optional<RunningApp>& previousApp() const { return m_previousApp; }

Q_SIGNALS:
    void inputTextChanged();
    void promptTextChanged();
    void promptRunningPlaceholderChanged();
    void resultTextChanged();
    /** The phase or the prompt text changed: what is shown follows. */
    void shownChanged();
    void promptStarted();
    /** Once per generation, when its answer is complete, failed or stopped. */
    void promptCompleted();

private:
    /** Puts the captured text (or none) in, as a new start. */
    void take(const WidgetInput& input);
    void setPhase(Phase phase, Failure failure = Failure::none);
    void setInput(const QString& text, bool displayed, InputSource source);
    void setResultText(const QString& value);
    void run(const Conversation::Request& request);
    void endGeneration(Phase phase, Failure failure = Failure::none);
    void typeChunk(const QString& chunk);
    void queueReveal(const QString& character);
    void flushPendingTail();
    void pasteResult(PostAction action);
    [[nodiscard]] std::optional<RunningApp> pasteTarget() const;
    void setNotice(const QString& notice, bool pasteRefused = false);
    void reset();

    WidgetPresenter& m_presenter;
    UserStoreProtocol& m_userStore;
    WindowTrackerProtocol& m_windowTracker;
    TimerSource& m_timers;
    QPointer<PasteboardManager> m_pasteboardManager;
    Conversation m_conversation;

    Phase m_phase = Phase::editing;
    Failure m_failure = Failure::none;
    QString m_failureReason;
    QString m_inputText;
    std::optional<PasteboardManagerCopyItem> m_inputItem;
    bool m_displayInput = false;
    /** The typed text became the input of a prompt; a command moves it back. */
    bool m_copiedTextToInput = false;
    bool m_waitsForText = false; // opened empty on a capture that may still come
    InputSource m_sourceType = InputSource::typing;
    QString m_promptText;
    /** The prompt changed since the answer came: the prompts show instead of the actions. */
    bool m_promptEditedAfterAnswer = false;
    QString m_resultText;
    QString m_notice;
    std::optional<RunningApp> m_previousApp;
    /** A paste waits for its window to come to the front. */
    bool m_pasting = false;
    bool m_pasteRefused = false;

    std::unique_ptr<Timer> m_runningTextTimer;
    int m_runningTextCounter = 0;
    /** Characters of a generation are revealed only while it is the newest one. */
    quint64 m_generation = 0;
    bool m_receivedText = false;
    /** The last character of a chunk may still gain combining marks from the next one. */
    QString m_pendingTail;
};
