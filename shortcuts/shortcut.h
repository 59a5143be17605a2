#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QtGlobal>

#include <optional>

namespace Shortcuts {

/** A key, by its virtual key code (VirtualKeys). */
struct Key {
    qint64 rawValue = 0;
    friend bool operator==(const Key&, const Key&) = default;
};

enum class Modifier { command, shift, option, control };

/** The modifier bits of a stored shortcut ("hotkey modifiers"). */
namespace HotkeyModifiers {
constexpr qint64 command = 0x100;
constexpr qint64 shift = 0x200;
constexpr qint64 option = 0x800;
constexpr qint64 control = 0x1000;
} // namespace HotkeyModifiers

[[nodiscard]] qint64 hotkeyModifier(Modifier modifier);
/** The window-system flag (ModifierFlags) of a modifier. */
[[nodiscard]] quint64 modifierFlag(Modifier modifier);
/** Converts between the two encodings; other bits are dropped. */
[[nodiscard]] quint64 modifierFlagsFromHotkeyModifiers(qint64 hotkeyModifiers);
[[nodiscard]] qint64 hotkeyModifiersFromModifierFlags(quint64 flags);

/**
 * A key with modifiers, as stored ("keyCode", "hotkeyModifiers" in JSON) and as
 * registered system-wide. Equal when both fields are.
 */
struct Shortcut {
    qint64 keyCode = 0;
    qint64 hotkeyModifiers = 0;

    /** Keeps only command, shift, option and control of the window-system flags. */
    [[nodiscard]] static Shortcut fromKey(Key key, quint64 modifierFlags);

    [[nodiscard]] Key key() const { return Key{keyCode}; }
    /** The modifiers as window-system flags. */
    [[nodiscard]] quint64 modifiers() const;

    [[nodiscard]] QByteArray toJson() const;
    /** Both members are required integers; anything else decodes to nothing. */
    [[nodiscard]] static std::optional<Shortcut> fromJson(const QByteArray& json);

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

inline size_t qHash(const Shortcut& shortcut, size_t seed = 0) {
    return qHashMulti(seed, shortcut.keyCode, shortcut.hotkeyModifiers);
}

} // namespace Shortcuts
