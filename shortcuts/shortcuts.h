#pragma once

#include "shortcuts/shortcut.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace Shortcuts {

class SystemHotkeys;

/**
 * Identifies a stored shortcut: a plain value. Names are equal when their raw values
 * are; the default takes no part and is only used by Registry::resetToDefaults().
 */
class Name {
public:
    explicit Name(QString rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt,
                  QString description = {})
        : m_rawValue(std::move(rawValue))
        , m_defaultShortcut(defaultShortcut)
        , m_description(std::move(description)) {}

    [[nodiscard]] const QString& rawValue() const { return m_rawValue; }
    [[nodiscard]] const std::optional<Shortcut>& defaultShortcut() const {
        return m_defaultShortcut;
    }
    /** What the shortcut does, for desktops that list the application's shortcuts. */
    [[nodiscard]] const QString& description() const { return m_description; }
    /** The settings key: "Shortcuts_" + rawValue. */
    [[nodiscard]] QString storageKey() const;

    friend bool operator==(const Name& a, const Name& b) { return a.m_rawValue == b.m_rawValue; }

private:
    QString m_rawValue;
    std::optional<Shortcut> m_defaultShortcut;
    QString m_description;
};

/** The names the application uses. */
namespace Names {
/** Opens the widget; its default is the preferences' widget hotkey. */
[[nodiscard]] Name windowHotkey(std::optional<Shortcut> defaultShortcut = std::nullopt);
/** Toggles the widget; Ctrl+Shift+X ("command+shift+x") by default. */
[[nodiscard]] Name windowToggleHotkey();
/** Scratch slot of the prompt editor's recorder; never bound. */
[[nodiscard]] Name tempShortcut();
/** A prompt's own hotkey, "preset_hotkey_" + its identifier. */
[[nodiscard]] Name presetHotkey(qint64 presetId,
                                std::optional<Shortcut> defaultShortcut = std::nullopt,
                                const QString& promptName = {});
/** The prompt a presetHotkey() name belongs to; nothing for other names. */
[[nodiscard]] std::optional<qint64> presetId(const QString& rawValue);
/**
 * The name's action as the outside world names it: "widget", "toggle" or "prompt:ID"
 * (the command line's --trigger and the desktop's shortcut ids); "" for other names.
 */
[[nodiscard]] QString actionId(const QString& rawValue);
/** The name an action id stands for; nothing for anything else. */
[[nodiscard]] std::optional<QString> fromActionId(const QString& actionId);
} // namespace Names

/**
 * Named shortcuts: stored per user under "Shortcuts_" + name, and grabbed system-wide
 * while a name is bound. Binding a name replaces its previous binding; a binding ends
 * when its owner is destroyed. A press of a grabbed combination is announced once per
 * bound name holding it, with triggered(name). Main thread only.
 */
class Registry final : public QObject {
    Q_OBJECT

public:
    /** layer: where grabs go; without one, shortcuts are stored and bound but not grabbed. */
    explicit Registry(SystemHotkeys* layer = nullptr, QObject* parent = nullptr);
    ~Registry() override;

    /** The stored shortcut, or nothing when none is stored, it was cleared, or it does not decode.
     */
    [[nodiscard]] std::optional<Shortcut> shortcut(const Name& name) const;
    /**
     * Stores (or, with nothing, clears) the name's shortcut; a bound name's grab follows.
     * Clearing a name with a default stores false so that the default is not applied
     * again; clearing a name that holds nothing does nothing at all.
     */
    void store(const std::optional<Shortcut>& shortcut, const Name& name);
    /** Stores each name's default (clearing names without one), in order. */
    void resetToDefaults(const QList<Name>& names);

    /** Binds name to owner, replacing its previous binding, and grabs its shortcut. */
    void bind(const Name& name, QObject* owner);
    void unbind(const QString& name);
    [[nodiscard]] QStringList boundNames() const { return m_bindings.keys(); }

    struct Bound {
        QString name;
        QString description;
        std::optional<Shortcut> shortcut;
        friend bool operator==(const Bound&, const Bound&) = default;
    };
    /** Every bound name with its description and stored shortcut, ordered by name. */
    [[nodiscard]] QList<Bound> bound() const;

    /**
     * Announces name as if its shortcut had been pressed: for desktops that own the keys
     * and tell which action was asked for. False when the name is not bound or delivery
     * is paused.
     */
    bool activate(const QString& name);

    /** While paused (a recorder is recording), presses trigger nothing but pausedKeyPressed. */
    void setDeliveryPaused(bool paused) { m_paused = paused; }
    [[nodiscard]] bool deliveryPaused() const { return m_paused; }

    /** A press (or release) of shortcut, as the system layer reports it. */
    void deliver(const Shortcut& shortcut, bool pressed);

Q_SIGNALS:
    void triggered(const QString& name);
    void released(const QString& name);
    /** The stored shortcut of name changed. */
    void changed(const QString& name);
    /** A name was bound or unbound, or a bound name's shortcut changed. */
    void bindingsChanged();
    /**
     * A grabbed combination pressed while delivery is paused: it never reaches the
     * application's windows, so this is how a recorder sees one.
     */
    void pausedKeyPressed(const Shortcut& shortcut);

private:
    /** Grabs what bound names hold and releases the rest; retry asks refused grabs again. */
    void syncGrabs(bool retry);

    struct Binding {
        QObject* owner = nullptr;
        QMetaObject::Connection ends;
        QString description;
    };

    SystemHotkeys* m_layer;
    QHash<QString, Binding> m_bindings;
    /** Grabbed combinations, with whether the system accepted them. */
    QHash<Shortcut, bool> m_grabs;
    bool m_paused = false;
};

} // namespace Shortcuts
