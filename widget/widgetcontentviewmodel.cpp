#include "widget/widgetcontentviewmodel.h"

#include "core/widgetpresenter.h"
#include "platform/pasteboardmanager.h"
#include "platform/windowtracker.h"
#include "shortcuts/shortcuts.h"

WidgetContentViewModel::WidgetContentViewModel(WidgetPresenter& presenter,
                                               WindowTrackerProtocol& windowTracker,
                                               Shortcuts::Registry& hotkeys,
                                               PasteboardManager* pasteboardManager,
                                               QObject* parent)
    : QObject(parent)
    , m_presenter(presenter)
    , m_windowTracker(windowTracker)
    , m_pasteboardManager(pasteboardManager) {
    const Shortcuts::Name windowHotkey = Shortcuts::Names::windowHotkey();
    const Shortcuts::Name toggleHotkey = Shortcuts::Names::windowToggleHotkey();
    hotkeys.bind(windowHotkey, this);
    hotkeys.bind(toggleHotkey, this);
    connect(&hotkeys, &Shortcuts::Registry::triggered, this,
            [this, window = windowHotkey.rawValue(),
             toggle = toggleHotkey.rawValue()](const QString& name) {
                if (name == window)
                    captureAndOpen();
                else if (name == toggle)
                    m_presenter.toggleWidget();
            });
}

void WidgetContentViewModel::captureAndOpen() {
    const std::optional<RunningApp> frontmost = m_windowTracker.frontmostApp();
    if (!frontmost || !m_pasteboardManager) {
        Q_EMIT captured(SetEmptyItem{true, m_windowTracker.frontmostApp(), true});
        return;
    }
    const QPointer<WidgetContentViewModel> self(this);
    m_pasteboardManager->copySelection(
        [self](std::optional<RunningApp> app, std::optional<PasteboardManagerCopyItem> item) {
            if (!self)
                return;
            self->m_presenter.setPreviousApp(app);
            if (item && !item->text.isEmpty()) {
                Q_EMIT self->captured(SetCopiedItem{*item, true});
                return;
            }
            // Nothing selected: the answer can still go in at the cursor of this window.
            Q_EMIT self->captured(SetEmptyItem{true, app, true});
        });
    // The selection is read off the main thread: the first press builds the view meanwhile.
    m_presenter.prepareWidget();
}
