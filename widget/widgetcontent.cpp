#include "widget/widgetcontent.h"

#include "platform/pasteboardmanager.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/widgetcontentviewmodel.h"

WidgetContent::WidgetContent(Dependencies deps, QObject* parent)
    : QObject(parent)
    , m_pasteboardManager(new PasteboardManager(deps.windowTracker, deps.keyboardManager,
                                                deps.clipboard, deps.timers, this))
    , m_input(new AIDialogInputViewModel(
          {deps.coordinator, deps.windowTracker, deps.timers, std::move(deps.makeTextsService)},
          this))
    , m_presetActions(new AIDialogPresetActionsViewModel(
          {deps.coordinator, deps.windowTracker, deps.timers, m_pasteboardManager}, this))
    , m_postActions(new AIDialogPostActionsViewModel(deps.timers, this))
    , m_contentModel(new WidgetContentViewModel(deps.coordinator, deps.windowTracker,
                                                m_pasteboardManager, deps.windowHotkeyText, this))
    , m_resize(std::move(deps.resize)) {
    m_contentModel->onInput = m_input->onInput();
    m_presetActions->onPresetAction = m_input->onPresetAction();
    m_postActions->onPostAction = m_input->onPostAction();
    m_input->onKeyInput = m_presetActions->onKeyInput();
    m_input->onPostKeyInput = m_postActions->onPostKeyInput();
    m_input->setPasteboardManager(m_pasteboardManager);
}

WidgetContent::~WidgetContent() = default;

void WidgetContent::contentHeightChanged(int height) {
    if (height == m_lastHeight || !m_resize)
        return;
    m_lastHeight = height;
    m_resize(height);
}
