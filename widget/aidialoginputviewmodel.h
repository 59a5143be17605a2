#pragma once

#include "core/log.h"
#include "service/textsservice.h"
#include "widget/deferredjobs.h"
#include "widget/widgettypes.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>
#include <optional>

class MainCoordinatorProtocol;
class PasteboardManager;
class TimerSource;
class WindowTrackerProtocol;

namespace Shortcuts {
class LocalEventMonitor;
}

/** Builds the texts service of one generation for the given device key. */
using TextsServiceFactory =
    std::function<std::unique_ptr<TextsServiceProtocol>(const QString& token)>;

/**
 * Everything the widget shows between a capture and the paste: the captured text, the
 * prompt field, the streamed result and which panel is visible. Runs generations,
 * keeps the conversation history and carries out the result actions.
 */
class AIDialogInputViewModel final : public QObject, public TextsServiceDelegate {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the widget content")
    Q_PROPERTY(int frameWidth READ frameWidth CONSTANT)
    Q_PROPERTY(QString inputText READ inputText WRITE setInputText NOTIFY inputTextChanged)
    Q_PROPERTY(bool displayInput READ displayInput NOTIFY displayInputChanged)
    Q_PROPERTY(QString sourceType READ sourceTypeName NOTIFY sourceTypeChanged)
    Q_PROPERTY(QString promptText READ promptText WRITE setPromptText NOTIFY promptTextChanged)
    Q_PROPERTY(QString promptPlaceholder READ promptPlaceholder CONSTANT)
    Q_PROPERTY(QString promptRunningPlaceholder READ promptRunningPlaceholder NOTIFY
                   promptRunningPlaceholderChanged)
    Q_PROPERTY(QString promptIconColor READ promptIconColor NOTIFY promptIconColorChanged)
    Q_PROPERTY(bool allowSend READ allowSend NOTIFY allowSendChanged)
    Q_PROPERTY(QString resultText READ resultText NOTIFY resultTextChanged)
    Q_PROPERTY(int outputTextLineLimit READ outputTextLineLimit CONSTANT)
    Q_PROPERTY(
        bool displayPromptActions READ displayPromptActions NOTIFY displayPromptActionsChanged)
    Q_PROPERTY(bool displayPostActions READ displayPostActions NOTIFY displayPostActionsChanged)
    Q_PROPERTY(bool showGenericError READ showGenericError NOTIFY showGenericErrorChanged)
    Q_PROPERTY(bool showTooLongError READ showTooLongError NOTIFY showTooLongErrorChanged)
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(bool sending READ isSending NOTIFY stateChanged)

public:
    enum class State { none, error, idle, sending, sent };
    Q_ENUM(State)
    enum class InputSource { typing, copied, hotkey };
    enum class Mode { preset, command };

    static constexpr std::chrono::milliseconds runningTextInterval{250};
    static constexpr std::chrono::milliseconds rewrapDelay{10};
    static constexpr int wrapLimit = 70;

    struct Dependencies {
        MainCoordinatorProtocol& coordinator;
        WindowTrackerProtocol& windowTracker;
        TimerSource& timers;
        TextsServiceFactory makeTextsService;
    };

    explicit AIDialogInputViewModel(Dependencies dependencies, QObject* parent = nullptr);
    ~AIDialogInputViewModel() override;

    // Entry points of the other widget parts; the closures do nothing once the model is gone.
    [[nodiscard]] std::function<void(WidgetInput)> onInput();
    [[nodiscard]] std::function<void(PresetAction)> onPresetAction();
    [[nodiscard]] std::function<void(PostAction)> onPostAction();
    void handleInput(const WidgetInput& input);
    void handlePresetAction(const PresetAction& action);
    void handlePostAction(PostAction action);

    std::function<void(PresetKeyInput)> onKeyInput;
    std::function<void(PostKeyInput)> onPostKeyInput;
    void setPasteboardManager(PasteboardManager* manager) { m_pasteboardManager = manager; }

    Q_INVOKABLE void clearInput();
    Q_INVOKABLE void stopRunning();
    /** The send control: runs the typed text the way Return in the prompt list does. */
    Q_INVOKABLE void send();
    void dismissWidget();
    void updateRunningText();

    /** Key rules while the widget is in front; true swallows the event. */
    bool handleKeyDown(const WidgetKeyEvent& event);
    bool handleKeyUp(const WidgetKeyEvent& event);

    /** Soft re-wrap of the prompt field at 70 characters; undoes the previous soft breaks. */
    void rewrapPromptText(const QString& value);
    [[nodiscard]] QString wrap(const QString& text);
    [[nodiscard]] const QStringList& lastSplits() const { return m_lastSplits; }

    // TextsServiceDelegate
    void didReceiveText(const QString& text) override;
    void didFinish() override;
    void didFailPromptTooLong() override;
    void didFailGeneric() override;

    [[nodiscard]] int frameWidth() const { return 500; }
    [[nodiscard]] const QString& inputText() const { return m_inputText; }
    void setInputText(const QString& value);
    [[nodiscard]] bool displayInput() const { return m_displayInput; }
    [[nodiscard]] InputSource sourceType() const { return m_sourceType; }
    [[nodiscard]] QString sourceTypeName() const;
    [[nodiscard]] const QString& promptText() const { return m_promptText; }
    void setPromptText(const QString& value);
    [[nodiscard]] QString promptPlaceholder() const;
    [[nodiscard]] const QString& promptRunningPlaceholder() const {
        return m_promptRunningPlaceholder;
    }
    [[nodiscard]] const QString& promptIconColor() const { return m_promptIconColor; }
    [[nodiscard]] bool allowSend() const { return m_allowSend; }
    [[nodiscard]] const QString& resultText() const { return m_resultText; }
    [[nodiscard]] int outputTextLineLimit() const { return 50; }
    [[nodiscard]] bool displayPromptActions() const { return m_displayPromptActions; }
    [[nodiscard]] bool displayPostActions() const { return m_displayPostActions; }
    [[nodiscard]] bool showGenericError() const { return m_showGenericError; }
    [[nodiscard]] bool showTooLongError() const { return m_showTooLongError; }
    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool isSending() const { return m_state == State::sending; }
    [[nodiscard]] const QList<RequestData>& requestHistory() const { return m_requestHistory; }
    [[nodiscard]] std::optional<qint64> lastPromptId() const { return m_lastPromptId; }
    [[nodiscard]] const std::optional<QString>& lastCommand() const { return m_lastCommand; }
    [[nodiscard]] std::optional<Mode> mode() const { return m_mode; }
    [[nodiscard]] bool isRegenerating() const { return m_isRegenerating; }
    [[nodiscard]] int runningTextCounter() const { return m_runningTextCounter; }
    [[nodiscard]] const std::optional<RunningApp>& previousApp() const { return m_previousApp; }

Q_SIGNALS:
    void inputTextChanged();
    void displayInputChanged();
    void sourceTypeChanged();
    void promptTextChanged();
    void promptRunningPlaceholderChanged();
    void promptIconColorChanged();
    void allowSendChanged();
    void resultTextChanged();
    void displayPromptActionsChanged();
    void displayPostActionsChanged();
    void showGenericErrorChanged();
    void showTooLongErrorChanged();
    void stateChanged();

private:
    void setState(State value);
    void updateAllowSend();
    void runPreset(qint64 id);
    void runCommand(const QString& command);
    void startGeneration(Mode mode);
    void finishGeneration();
    void stopRunningText();
    void typeChunk(const QString& chunk);
    void queueReveal(const QString& character);
    void flushPendingTail();
    void dropLastExchange();
    void pasteResult(bool insertBelow);
    QString breakLine(const QString& text, int limit);

    void setDisplayInput(bool value);
    void setSourceType(InputSource value);
    void setResultText(const QString& value);
    void setDisplayPromptActions(bool value);
    void setDisplayPostActions(bool value);
    void setShowGenericError(bool value);
    void setShowTooLongError(bool value);
    void setAllowSend(bool value);
    void setPromptIconColor(const QString& value);
    void setPromptRunningPlaceholder(const QString& value);

    MainCoordinatorProtocol& m_coordinator;
    WindowTrackerProtocol& m_windowTracker;
    TimerSource& m_timers;
    TextsServiceFactory m_makeTextsService;
    QPointer<PasteboardManager> m_pasteboardManager;
    DeferredJobs m_deferred;
    Log m_logger{"application"};

    QString m_inputText;
    std::optional<PasteboardManagerCopyItem> m_inputItem;
    bool m_displayInput = false;
    bool m_copiedTextToInput = false;
    InputSource m_sourceType = InputSource::typing;
    QString m_promptText;
    QString m_promptRunningPlaceholder;
    QString m_promptIconColor = QStringLiteral("promptIcon");
    std::optional<qint64> m_currentPromptId;
    std::optional<qint64> m_lastPromptId;
    std::optional<QString> m_lastCommand;
    bool m_allowSend = false;
    QString m_resultText;
    bool m_displayPromptActions = false;
    bool m_displayPostActions = false;
    std::unique_ptr<TextsServiceProtocol> m_textService;
    std::optional<Mode> m_mode;
    QList<RequestData> m_requestHistory;
    bool m_isRegenerating = false;
    std::unique_ptr<Timer> m_runningTextTimer;
    int m_runningTextCounter = 0;
    QStringList m_lastSplits;
    std::optional<RunningApp> m_previousApp;
    bool m_showGenericError = false;
    bool m_showTooLongError = false;
    State m_state = State::none;

    /** Characters of a generation are revealed only while it is the newest one. */
    quint64 m_generation = 0;
    /** The last character of a chunk may still gain combining marks from the next one. */
    QString m_pendingTail;
    std::unique_ptr<Shortcuts::LocalEventMonitor> m_keyMonitor;
};
