#pragma once

#include "platform/pasteboardmanager.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <variant>

class QKeyEvent;

/** A key event in the models' terms: virtual key code and modifier flags. */
struct WidgetKeyEvent {
    int keyCode = -1;
    quint64 modifierFlags = 0;

    [[nodiscard]] bool has(quint64 flags) const { return (modifierFlags & flags) == flags; }
};

/**
 * Translates a Qt key event into the models' key codes: Ctrl is command, Alt option,
 * Shift shift and Super control. Keys without a virtual code get -1; a modifier key
 * pressed on its own gives nothing.
 */
[[nodiscard]] std::optional<WidgetKeyEvent> widgetKeyEvent(const QKeyEvent& event);

/** What a capture hands to the input model. */
struct SetCopiedItem {
    PasteboardManagerCopyItem item;
    bool clearHistory = true;
};
struct SetEmptyItem {
    bool empty = true;
    std::optional<RunningApp> app;
    bool clearHistory = true;
};
using WidgetInput = std::variant<SetCopiedItem, SetEmptyItem>;

/** A prompt choice: from the list, Return, or a prompt's own hotkey. */
struct PresetOnly {
    qint64 id = 0;
};
struct PresetChoice {
    qint64 id = 0;
    std::optional<PasteboardManagerCopyItem> item;
    bool clearHistory = false;
};
struct CommandChoice {
    std::optional<PasteboardManagerCopyItem> item;
};
using PresetAction = std::variant<PresetOnly, PresetChoice, CommandChoice>;

enum class PostAction {
    replaceSelection,
    copyToClipboard,
    insertBelow,
    insertAtCursor,
    continueWithAnotherPrompt,
    regenerate,
    tryAgain,
    discard
};
