#pragma once

#include "widget/widgettypes.h"

#include <QObject>
#include <QPointer>

#include <functional>

class MainCoordinatorProtocol;
class PasteboardManager;
class WindowTrackerProtocol;

/**
 * The widget's own hotkeys: the window hotkey captures the selection in front and
 * opens the widget with it; the toggle hotkey shows or hides the widget.
 */
class WidgetContentViewModel final : public QObject {
    Q_OBJECT

public:
    /** windowHotkeyText: the widget hotkey in the hotkey text form; invalid leaves it unset. */
    WidgetContentViewModel(MainCoordinatorProtocol& coordinator,
                           WindowTrackerProtocol& windowTracker,
                           PasteboardManager* pasteboardManager, const QString& windowHotkeyText,
                           QObject* parent = nullptr);

    std::function<void(WidgetInput)> onInput;

    /** The window hotkey's key-down handler. */
    void captureAndOpen();

private:
    void registerHotkeys(const QString& windowHotkeyText);
    void deliver(const WidgetInput& input);

    MainCoordinatorProtocol& m_coordinator;
    WindowTrackerProtocol& m_windowTracker;
    QPointer<PasteboardManager> m_pasteboardManager;
};
