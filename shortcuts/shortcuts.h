#pragma once

#include "shortcuts/shortcut.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

/**
 * Named shortcuts: stored per user under "Shortcuts_" + name, registered with the
 * system hotkey layer, and dispatched to the actions attached to each name. All of
 * it runs on the main thread.
 */
namespace Shortcuts {

class SystemHotkeys;

/**
 * Identifies a stored shortcut. Names are equal when their raw values are; the
 * default takes no part. Building a name with a default stores and registers that
 * default when nothing at all is stored under the name yet, so a default applies
 * once and a name the user cleared stays cleared.
 */
class Name {
public:
    explicit Name(QString rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt);

    [[nodiscard]] const QString& rawValue() const { return m_rawValue; }
    [[nodiscard]] const std::optional<Shortcut>& defaultShortcut() const {
        return m_defaultShortcut;
    }
    /** The settings key: "Shortcuts_" + rawValue. */
    [[nodiscard]] QString storageKey() const;

    friend bool operator==(const Name& a, const Name& b) { return a.m_rawValue == b.m_rawValue; }

private:
    QString m_rawValue;
    std::optional<Shortcut> m_defaultShortcut;
};

/** The names the application uses. */
namespace Names {
/** Opens the widget; its default comes from the settings hotkey at registration. */
[[nodiscard]] Name windowHotkey(std::optional<Shortcut> defaultShortcut = std::nullopt);
/** Toggles the widget; Ctrl+Shift+X ("command+shift+x") by default. */
[[nodiscard]] Name windowToggleHotkey();
/** Scratch slot of the prompt editor's recorder. */
[[nodiscard]] Name tempShortcut();
/** A prompt's own hotkey, "preset_hotkey_" + its identifier. */
[[nodiscard]] Name presetHotkey(qint64 presetId,
                                std::optional<Shortcut> defaultShortcut = std::nullopt);
} // namespace Names

using Action = std::function<void()>;

/**
 * The layer registrations go to. Set it once at start-up (nullptr detaches); setting
 * it forgets what was registered with the previous one. Without a layer, shortcuts
 * are stored but not registered.
 */
void setSystemHotkeys(SystemHotkeys* layer);

/** The stored shortcut, or nothing when none is stored, it was cleared, or it does not decode. */
[[nodiscard]] std::optional<Shortcut> shortcutForName(const Name& name);
/**
 * Stores (or, with nothing, clears) the name's shortcut, moves its system
 * registration and posts Notifications::shortcutByNameDidChange with {"name": rawValue}.
 * Clearing a name with a default stores false so that the default is not applied
 * again; clearing a name that holds nothing does nothing at all.
 */
void storeShortcut(const std::optional<Shortcut>& shortcut, const Name& name);
/** Stores each name's default (clearing names without one), in order. */
void resetToDefaults(const QList<Name>& names);

/**
 * Appends an action run when the name's shortcut is pressed (released). Actions are
 * never removed: adding the same action twice runs it twice.
 */
void addKeyDownAction(const Name& name, Action action);
void addKeyUpAction(const Name& name, Action action);

/** While paused (the recorder is recording), presses reach no action. */
void setDeliveryPaused(bool paused);
[[nodiscard]] bool deliveryPaused();
/**
 * Hears the presses that arrive while delivery is paused. A combination the
 * application holds as a global hotkey never reaches its windows, so this is how the
 * recorder sees one.
 */
void setPausedKeyDownHandler(std::function<void(const Shortcut&)> handler);

/** Runs the actions of every name whose stored shortcut equals shortcut. */
void dispatchKeyDown(const Shortcut& shortcut);
void dispatchKeyUp(const Shortcut& shortcut);

} // namespace Shortcuts
