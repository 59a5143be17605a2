#include "platform/virtualkeys.h"
#include "widget/widgettypes.h"

#include <QKeyEvent>

std::optional<WidgetKeyEvent> widgetKeyEvent(const QKeyEvent& event, const QString& windowTitle) {
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
                          ModifierFlags::fromQt(event.modifiers()), windowTitle};
}
