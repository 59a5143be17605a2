#pragma once

#include "widget/aidialoginputviewmodel.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <functional>

class ClipboardProtocol;
class KeyboardManagerProtocol;
class WidgetContentViewModel;

/**
 * What the widget window shows: the input model with the prompt list and the result
 * actions wired to it, the widget's hotkeys, and the content's height for the window.
 */
class WidgetContent final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the application for the widget window")
    Q_PROPERTY(AIDialogInputViewModel* input READ input CONSTANT)
    Q_PROPERTY(AIDialogPresetActionsViewModel* presetActions READ presetActions CONSTANT)
    Q_PROPERTY(AIDialogPostActionsViewModel* postActions READ postActions CONSTANT)

public:
    struct Dependencies {
        MainCoordinatorProtocol& coordinator;
        WindowTrackerProtocol& windowTracker;
        KeyboardManagerProtocol& keyboardManager;
        ClipboardProtocol& clipboard;
        TimerSource& timers;
        TextsServiceFactory makeTextsService;
        QString windowHotkeyText;
        /** Fits the window to the content's new height. */
        std::function<void(int)> resize;
    };

    explicit WidgetContent(Dependencies dependencies, QObject* parent = nullptr);
    ~WidgetContent() override;

    [[nodiscard]] AIDialogInputViewModel* input() const { return m_input; }
    [[nodiscard]] AIDialogPresetActionsViewModel* presetActions() const { return m_presetActions; }
    [[nodiscard]] AIDialogPostActionsViewModel* postActions() const { return m_postActions; }
    [[nodiscard]] WidgetContentViewModel* contentModel() const { return m_contentModel; }
    [[nodiscard]] PasteboardManager* pasteboardManager() const { return m_pasteboardManager; }

    /** The view measured its content anew. */
    Q_INVOKABLE void contentHeightChanged(int height);

private:
    PasteboardManager* m_pasteboardManager;
    AIDialogInputViewModel* m_input;
    AIDialogPresetActionsViewModel* m_presetActions;
    AIDialogPostActionsViewModel* m_postActions;
    WidgetContentViewModel* m_contentModel;
    std::function<void(int)> m_resize;
    int m_lastHeight = -1;
};
