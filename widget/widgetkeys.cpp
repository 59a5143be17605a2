#include "widget/widgetkeys.h"

#include "core/widgetpresenter.h"
#include "platform/virtualkeys.h"
#include "widget/aidialoginputviewmodel.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/answerreview.h"
#include "widget/widgettypes.h"

#include <QKeyEvent>
#include <QWindow>

namespace {

bool isListKey(int code) {
    return code == VirtualKeys::downArrow || code == VirtualKeys::upArrow ||
           code == VirtualKeys::returnKey;
}

} // namespace

std::optional<WidgetKeyEvent> widgetKeyEvent(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return std::nullopt; // a modifier on its own is no key press of the widget's
    default:
        break;
    }
    return WidgetKeyEvent{VirtualKeys::fromQtKey(event.key()).value_or(-1),
                          ModifierFlags::fromQt(event.modifiers())};
}

WidgetKeys::WidgetKeys(WidgetPresenter& presenter, AIDialogInputViewModel& input,
                       AIDialogPresetActionsViewModel& prompts,
                       AIDialogPostActionsViewModel& actions, QObject* parent)
    : QObject(parent)
    , m_presenter(presenter)
    , m_input(input)
    , m_prompts(prompts)
    , m_actions(actions) {}

void WidgetKeys::watch(QWindow* window) {
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (m_window)
        m_window->installEventFilter(this);
}

bool WidgetKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return false;
    const auto translated = widgetKeyEvent(*static_cast<QKeyEvent*>(event));
    if (!translated)
        return false;
    return event->type() == QEvent::KeyPress ? keyDown(*translated) : keyUp(*translated);
}

bool WidgetKeys::keyDown(const WidgetKeyEvent& event) {
    const bool settled = m_input.isSettled();
    if (event.keyCode == VirtualKeys::escape && !settled) {
        m_input.stopRunning();
        return true;
    }
    if (settled && (event.keyCode == VirtualKeys::escape ||
                    (event.keyCode == WidgetKeyCodes::h && event.has(ModifierFlags::command)))) {
        m_input.dismissWidget();
        return true;
    }
    if (event.keyCode == VirtualKeys::x &&
        event.has(ModifierFlags::command | ModifierFlags::shift)) {
        m_presenter.toggleWidget();
        return true;
    }
    if (!settled)
        return false;
    if (event.keyCode == VirtualKeys::tab && !event.modifierFlags && m_review)
        return m_review->toggle();
    if (isListKey(event.keyCode))
        return true; // they act on key up
    return event.keyCode == WidgetKeyCodes::r && event.has(ModifierFlags::command);
}

bool WidgetKeys::keyUp(const WidgetKeyEvent& event) {
    if (!m_input.isSettled())
        return false;
    const int code = event.keyCode;
    if (code == VirtualKeys::returnKey &&
        (event.modifierFlags & (ModifierFlags::command | ModifierFlags::shift))) {
        m_input.insertLineBreak();
        return true;
    }
    const bool next = code == VirtualKeys::downArrow ||
                      (code == WidgetKeyCodes::n && event.has(ModifierFlags::control));
    const bool previous = code == VirtualKeys::upArrow ||
                          (code == WidgetKeyCodes::p && event.has(ModifierFlags::control));
    if (m_input.displayPromptActions()) {
        if (code == VirtualKeys::returnKey)
            m_prompts.choose();
        else if (next)
            m_prompts.selectNext();
        else if (previous)
            m_prompts.selectPrevious();
    } else if (m_input.displayPostActions()) {
        if (code == VirtualKeys::returnKey)
            m_actions.performSelected();
        else if (next)
            m_actions.selectNext();
        else if (previous)
            m_actions.selectPrevious();
        else if (code == WidgetKeyCodes::r && event.has(ModifierFlags::command))
            m_actions.regenerate();
    }
    return isListKey(code);
}
