#include "platform/firstappear.h"

#include <QEvent>

FirstAppear::FirstAppear(QObject* view, std::function<void()> action)
    : QObject(view)
    , m_action(std::move(action)) {
    if (view)
        view->installEventFilter(this);
}

void FirstAppear::appeared() {
    if (m_hasAppeared)
        return;
    // Set first, so that an action that shows the view again does not run twice.
    m_hasAppeared = true;
    if (m_action)
        m_action();
}

bool FirstAppear::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched == parent())
        appeared();
    return false;
}
