#pragma once

#include "widget/aidialoginputviewmodel.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/answerreview.h"
#include "widget/widgetkeys.h"

#include <QObject>

class AppEvents;
class ClipboardProtocol;
class KeyboardManagerProtocol;
class WidgetContentViewModel;

namespace Shortcuts {
class Registry;
}

/**
 * What the widget window shows: the input model with the prompt list and the result
 * actions wired to it, the key routing of its window, and the widget's hotkeys.
 */
class WidgetContent final : public QObject {
    Q_OBJECT
    Q_PROPERTY(AIDialogInputViewModel* input READ input CONSTANT)
    Q_PROPERTY(AIDialogPresetActionsViewModel* presetActions READ presetActions CONSTANT)
    Q_PROPERTY(AIDialogPostActionsViewModel* postActions READ postActions CONSTANT)
    Q_PROPERTY(WidgetKeys* keys READ keys CONSTANT)
    /** Rounded corners need a compositor; without one the card is square. */
    Q_PROPERTY(bool roundedCorners READ roundedCorners CONSTANT)
    Q_PROPERTY(AnswerReview* review READ review CONSTANT)

public:
    struct Dependencies {
        WidgetPresenter& presenter;
        UserStoreProtocol& userStore;
        PresetStoreProtocol& presetStore;
        AppEvents& events;
        WindowTrackerProtocol& windowTracker;
        KeyboardManagerProtocol& keyboardManager;
        ClipboardProtocol& clipboard;
        TimerSource& timers;
        TextsServiceFactory makeTextsService;
        Shortcuts::Registry& hotkeys;
        bool roundedCorners = true;
    };

    explicit WidgetContent(Dependencies dependencies, QObject* parent = nullptr);
    ~WidgetContent() override;

    [[nodiscard]] AIDialogInputViewModel* input() const { return m_input; }
    [[nodiscard]] AIDialogPresetActionsViewModel* presetActions() const { return m_presetActions; }
    [[nodiscard]] AIDialogPostActionsViewModel* postActions() const { return m_postActions; }
    [[nodiscard]] WidgetKeys* keys() const { return m_keys; }
    [[nodiscard]] bool roundedCorners() const { return m_roundedCorners; }
    [[nodiscard]] AnswerReview* review() const { return m_review; }
    [[nodiscard]] WidgetContentViewModel* contentModel() const { return m_contentModel; }
    [[nodiscard]] PasteboardManager* pasteboardManager() const { return m_pasteboardManager; }

    /**
     * The widget window gained or lost the focus. Once the window manager confirms that
     * another application is active, the widget hides, so that no key meant for it
     * (Escape) goes to that application; not while an answer streams in.
     */
    Q_INVOKABLE void setWindowActive(bool active);

private:
    WidgetPresenter& m_presenter;
    WindowTrackerProtocol& m_windowTracker;
    TimerSource& m_timers;
    bool m_windowActive = false;
    bool m_roundedCorners;
    PasteboardManager* m_pasteboardManager;
    AIDialogInputViewModel* m_input;
    AIDialogPresetActionsViewModel* m_presetActions;
    AIDialogPostActionsViewModel* m_postActions;
    WidgetContentViewModel* m_contentModel;
    WidgetKeys* m_keys;
    AnswerReview* m_review;
};
