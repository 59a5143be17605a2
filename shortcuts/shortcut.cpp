#include "shortcuts/shortcut.h"

#include "core/jsondecoder.h"
#include "platform/virtualkeys.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>

namespace Shortcuts {

namespace {

constexpr std::array allModifiers{Modifier::command, Modifier::shift, Modifier::option,
                                  Modifier::control};

} // namespace

qint64 hotkeyModifier(Modifier modifier) {
    switch (modifier) {
    case Modifier::command:
        return HotkeyModifiers::command;
    case Modifier::shift:
        return HotkeyModifiers::shift;
    case Modifier::option:
        return HotkeyModifiers::option;
    case Modifier::control:
        return HotkeyModifiers::control;
    }
    return 0;
}

quint64 modifierFlag(Modifier modifier) {
    switch (modifier) {
    case Modifier::command:
        return ModifierFlags::command;
    case Modifier::shift:
        return ModifierFlags::shift;
    case Modifier::option:
        return ModifierFlags::option;
    case Modifier::control:
        return ModifierFlags::control;
    }
    return 0;
}

quint64 modifierFlagsFromHotkeyModifiers(qint64 hotkeyModifiers) {
    quint64 flags = 0;
    for (Modifier modifier : allModifiers) {
        if (hotkeyModifiers & hotkeyModifier(modifier))
            flags |= modifierFlag(modifier);
    }
    return flags;
}

qint64 hotkeyModifiersFromModifierFlags(quint64 flags) {
    qint64 modifiers = 0;
    for (Modifier modifier : allModifiers) {
        if (flags & modifierFlag(modifier))
            modifiers |= hotkeyModifier(modifier);
    }
    return modifiers;
}

Shortcut Shortcut::fromKey(Key key, quint64 modifierFlags) {
    return Shortcut{key.rawValue, hotkeyModifiersFromModifierFlags(modifierFlags)};
}

quint64 Shortcut::modifiers() const {
    return modifierFlagsFromHotkeyModifiers(hotkeyModifiers);
}

QByteArray Shortcut::toJson() const {
    const QJsonObject object{{QStringLiteral("keyCode"), keyCode},
                             {QStringLiteral("hotkeyModifiers"), hotkeyModifiers}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Shortcut> Shortcut::fromJson(const QByteArray& json) {
    JsonDecoder decoder = JsonDecoder::fromJson(json, QStringLiteral("Shortcut"));
    Shortcut shortcut;
    shortcut.keyCode = decoder.integer(QStringLiteral("keyCode"));
    shortcut.hotkeyModifiers = decoder.integer(QStringLiteral("hotkeyModifiers"));
    if (!decoder.ok())
        return std::nullopt;
    return shortcut;
}

} // namespace Shortcuts
