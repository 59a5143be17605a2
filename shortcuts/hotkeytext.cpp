#include "shortcuts/hotkeytext.h"

#include <QKeySequence>
#include <QStringList>

#include <array>

namespace Shortcuts::HotkeyText {

namespace {

struct Entry {
    char character;
    qint64 keyCode;
};

constexpr std::array keyTable{
    Entry{'a', 0},  Entry{'b', 11}, Entry{'c', 8},  Entry{'d', 2},  Entry{'e', 14}, Entry{'f', 3},
    Entry{'g', 5},  Entry{'h', 4},  Entry{'i', 34}, Entry{'j', 38}, Entry{'k', 40}, Entry{'l', 37},
    Entry{'m', 46}, Entry{'n', 45}, Entry{'o', 31}, Entry{'p', 35}, Entry{'q', 12}, Entry{'r', 15},
    Entry{'s', 1},  Entry{'t', 17}, Entry{'u', 32}, Entry{'v', 9},  Entry{'w', 13}, Entry{'x', 7},
    Entry{'y', 16}, Entry{'z', 6},  Entry{'0', 29}, Entry{'1', 18}, Entry{'2', 19}, Entry{'3', 20},
    Entry{'4', 21}, Entry{'5', 23}, Entry{'6', 22}, Entry{'7', 26}, Entry{'8', 28}, Entry{'9', 25},
    Entry{';', 41}, Entry{',', 43}, Entry{'=', 24}, Entry{'-', 27}, Entry{'.', 47}, Entry{'\'', 39},
    Entry{'/', 44}, Entry{'(', 33}, Entry{')', 30},
};
static_assert(keyTable.size() == 45);

struct Word {
    Modifier modifier;
    const char* text;
};

// The order of formatting.
constexpr std::array words{Word{Modifier::command, "command"}, Word{Modifier::control, "control"},
                           Word{Modifier::option, "option"}, Word{Modifier::shift, "shift"}};

Qt::KeyboardModifier qtModifier(Modifier modifier) {
    switch (modifier) {
    case Modifier::command:
        return Qt::ControlModifier;
    case Modifier::option:
        return Qt::AltModifier;
    case Modifier::shift:
        return Qt::ShiftModifier;
    case Modifier::control:
        return Qt::MetaModifier;
    }
    return Qt::NoModifier;
}

} // namespace

std::optional<Parsed> parse(const QString& text) {
    const QStringList pieces = text.split(u'+', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    Parsed parsed;
    parsed.key = pieces.last().toLower();
    if (parsed.key.size() != 1)
        return std::nullopt;
    for (const QString& piece : pieces) {
        for (const Word& word : words) {
            if (piece == QLatin1String(word.text))
                parsed.modifiers.append(word.modifier);
        }
    }
    return parsed;
}

std::optional<qint64> keyCodeForCharacter(const QString& character) {
    if (character.size() != 1)
        return std::nullopt;
    for (const Entry& entry : keyTable) {
        if (character.at(0) == QLatin1Char(entry.character))
            return entry.keyCode;
    }
    return std::nullopt;
}

std::optional<QString> characterForKeyCode(qint64 keyCode) {
    for (const Entry& entry : keyTable) {
        if (entry.keyCode == keyCode)
            return QString(QLatin1Char(entry.character));
    }
    return std::nullopt;
}

std::optional<Shortcut> toShortcut(const QString& text) {
    const std::optional<Parsed> parsed = parse(text);
    if (!parsed)
        return std::nullopt;
    const std::optional<qint64> keyCode = keyCodeForCharacter(parsed->key);
    if (!keyCode)
        return std::nullopt;
    qint64 modifiers = 0;
    for (Modifier modifier : parsed->modifiers)
        modifiers |= hotkeyModifier(modifier);
    return Shortcut{*keyCode, modifiers};
}

QString fromShortcut(const Shortcut& shortcut) {
    const std::optional<QString> character = characterForKeyCode(shortcut.keyCode);
    if (!character)
        return QString();
    QStringList pieces;
    for (const Word& word : words) {
        if (shortcut.hotkeyModifiers & hotkeyModifier(word.modifier))
            pieces.append(QLatin1String(word.text));
    }
    pieces.append(*character);
    return pieces.join(u'+');
}

QString displayText(const QString& text) {
    const std::optional<Parsed> parsed = parse(text);
    if (!parsed)
        return QString();
    Qt::KeyboardModifiers modifiers;
    for (Modifier modifier : parsed->modifiers)
        modifiers |= qtModifier(modifier);
    // Qt key values of printable keys are their upper-case characters.
    const auto key = static_cast<Qt::Key>(parsed->key.toUpper().at(0).unicode());
    return QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::NativeText);
}

} // namespace Shortcuts::HotkeyText
