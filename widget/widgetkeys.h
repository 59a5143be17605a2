#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>

class AIDialogInputViewModel;
class AIDialogPostActionsViewModel;
class AIDialogPresetActionsViewModel;
class AnswerReview;
class WidgetPresenter;
struct WidgetKeyEvent;

/** The letter keys the widget reacts to, as virtual key codes (VirtualKeys has the others). */
namespace WidgetKeyCodes {
constexpr int h = 4;
constexpr int n = 45;
constexpr int p = 35;
constexpr int r = 15;
} // namespace WidgetKeyCodes

/**
 * Routes the widget window's keys before its items see them: Escape stops an answer
 * or hides the widget, the arrows, Ctrl+N/P and Return work the list shown (on key
 * up), Shift+Return breaks the prompt's line, Ctrl+R regenerates, Tab switches a
 * complete answer between its diff and plain text. Watches the widget window only.
 */
class WidgetKeys final : public QObject {
    Q_OBJECT

public:
    WidgetKeys(WidgetPresenter& presenter, AIDialogInputViewModel& input,
               AIDialogPresetActionsViewModel& prompts, AIDialogPostActionsViewModel& actions,
               QObject* parent = nullptr);

    /** The window whose keys are routed; the previous one is let go. */
    Q_INVOKABLE void watch(QWindow* window);

    /** Where Tab goes; none leaves Tab to the items. */
    void setReview(AnswerReview* review) { m_review = review; }

    /** True swallows the event. */
    bool keyDown(const WidgetKeyEvent& event);
    bool keyUp(const WidgetKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WidgetPresenter& m_presenter;
    AIDialogInputViewModel& m_input;
    AIDialogPresetActionsViewModel& m_prompts;
    AIDialogPostActionsViewModel& m_actions;
    QPointer<QWindow> m_window;
    QPointer<AnswerReview> m_review;
};
