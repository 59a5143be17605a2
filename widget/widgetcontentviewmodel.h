#pragma once

#include "widget/widgettypes.h"

#include <QObject>
#include <QPointer>

class WidgetPresenter;
class PasteboardManager;
class WindowTrackerProtocol;

namespace Shortcuts {
class Registry;
}

/**
 * The widget's own hotkeys: the window hotkey captures the selection in front and
 * opens the widget with it; the toggle hotkey shows or hides the widget.
 */
class WidgetContentViewModel final : public QObject {
    Q_OBJECT

public:
    WidgetContentViewModel(WidgetPresenter& presenter, WindowTrackerProtocol& windowTracker,
                           Shortcuts::Registry& hotkeys, PasteboardManager* pasteboardManager,
                           QObject* parent = nullptr);

    /** The window hotkey's key-down handler. */
    void captureAndOpen();

Q_SIGNALS:
    /** What the window hotkey captured, for the widget to open on. */
    void captured(const WidgetInput& input);

private:
    WidgetPresenter& m_presenter;
    WindowTrackerProtocol& m_windowTracker;
    QPointer<PasteboardManager> m_pasteboardManager;
};
