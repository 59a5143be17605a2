#include "widget/widgetcontentviewmodel.h"

#include "core/maincoordinatorprotocol.h"
#include "platform/pasteboardmanager.h"
#include "platform/windowtracker.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"

WidgetContentViewModel::WidgetContentViewModel(MainCoordinatorProtocol& coordinator,
                                               WindowTrackerProtocol& windowTracker,
                                               PasteboardManager* pasteboardManager,
                                               const QString& windowHotkeyText, QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_windowTracker(windowTracker)
    , m_pasteboardManager(pasteboardManager) {
    registerHotkeys(windowHotkeyText);
}

void WidgetContentViewModel::registerHotkeys(const QString& windowHotkeyText) {
    const std::optional<Shortcuts::Shortcut> windowShortcut =
        Shortcuts::HotkeyText::toShortcut(windowHotkeyText);
    const Shortcuts::Name windowHotkey = Shortcuts::Names::windowHotkey(windowShortcut);
    const Shortcuts::Name toggleHotkey = Shortcuts::Names::windowToggleHotkey();
    Shortcuts::resetToDefaults({windowHotkey, toggleHotkey});

    const QPointer<WidgetContentViewModel> self(this);
    if (windowShortcut) {
        Shortcuts::addKeyDownAction(windowHotkey, [self] {
            if (self)
                self->captureAndOpen();
        });
    }
    Shortcuts::addKeyDownAction(toggleHotkey, [self] {
        if (self)
            self->m_coordinator.toggleWidget();
    });
}

void WidgetContentViewModel::captureAndOpen() {
    const std::optional<RunningApp> frontmost = m_windowTracker.frontmostApp();
    if (!frontmost || !m_pasteboardManager) {
        deliver(SetEmptyItem{true, m_windowTracker.frontmostApp(), true});
        return;
    }
    const QPointer<WidgetContentViewModel> self(this);
    m_pasteboardManager->copySelection(
        [self](std::optional<RunningApp> app, std::optional<PasteboardManagerCopyItem> item) {
            if (!self)
                return;
            self->m_coordinator.setPreviousApp(app);
            if (item && !item->text.isEmpty() && self->onInput) {
                self->onInput(SetCopiedItem{*item, true});
                return;
            }
            self->deliver(SetEmptyItem{true, self->m_windowTracker.frontmostApp(), true});
        });
}

void WidgetContentViewModel::deliver(const WidgetInput& input) {
    if (onInput)
        onInput(input);
}
