#pragma once

#include "shortcuts/shortcut.h"

#include <QList>
#include <QString>

#include <optional>

/**
 * The application's text form of a hotkey, "command+option+c": modifier words
 * (command, option, shift, control; case-sensitive) and one key character from a
 * table of 45 keys, joined with "+". "(" and ")" name the bracket keys.
 */
namespace Shortcuts::HotkeyText {

struct Parsed {
    /** One lower-case character; not necessarily a key of the table. */
    QString key;
    /** In the order written, repeats kept. */
    QList<Modifier> modifiers;
};

/** Key text and modifiers, or nothing when the last piece is not one character. */
[[nodiscard]] std::optional<Parsed> parse(const QString& text);
/** The shortcut of a text, or nothing when it does not parse or the key is not in the table. */
[[nodiscard]] std::optional<Shortcut> toShortcut(const QString& text);
/** "command", "control", "option", "shift" in this order, then the key; "" outside the table. */
[[nodiscard]] QString fromShortcut(const Shortcut& shortcut);
/** The platform's own spelling of a hotkey text, such as "Ctrl+Alt+C"; "" when it does not parse.
 */
[[nodiscard]] QString displayText(const QString& text);

[[nodiscard]] std::optional<qint64> keyCodeForCharacter(const QString& character);
[[nodiscard]] std::optional<QString> characterForKeyCode(qint64 keyCode);

} // namespace Shortcuts::HotkeyText
