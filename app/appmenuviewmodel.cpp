#include "app/appmenuviewmodel.h"

#include "core/appevents.h"
#include "platform/virtualkeys.h"
#include "store/appsettings.h"

AppMenuViewModel::AppMenuViewModel(AppEvents& events, QObject* parent)
    : QObject(parent) {
    readWindowHotkey();
    connect(&events, &AppEvents::windowHotkeyChanged, this, &AppMenuViewModel::readWindowHotkey);
}

std::optional<AppMenuViewModel::Hotkey>
AppMenuViewModel::parse(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    const QStringList pieces = text->split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || pieces.last().size() != 1)
        return std::nullopt;
    Hotkey hotkey{pieces.last().toLower(), 0};
    for (const QString& piece : pieces) {
        if (piece == QLatin1String("command"))
            hotkey.modifiers |= ModifierFlags::command;
        else if (piece == QLatin1String("option"))
            hotkey.modifiers |= ModifierFlags::option;
        else if (piece == QLatin1String("shift"))
            hotkey.modifiers |= ModifierFlags::shift;
        else if (piece == QLatin1String("control"))
            hotkey.modifiers |= ModifierFlags::control;
    }
    return hotkey;
}

void AppMenuViewModel::readWindowHotkey() {
    // A text without a usable key leaves the menu as it was.
    const auto hotkey = parse(AppSettings().preferencesSettings().windowHotkey);
    if (!hotkey)
        return;
    m_windowHotkeyKey = hotkey->key;
    m_windowHotkeyModifiers = hotkey->modifiers;
    Q_EMIT windowHotkeyChanged();
}

QKeySequence AppMenuViewModel::openShortcut() const {
    if (!m_windowHotkeyKey || !m_windowHotkeyModifiers)
        return {};
    const quint64 flags = *m_windowHotkeyModifiers;
    QString text;
    if (flags & ModifierFlags::command)
        text += QLatin1String("Ctrl+");
    if (flags & ModifierFlags::option)
        text += QLatin1String("Alt+");
    if (flags & ModifierFlags::shift)
        text += QLatin1String("Shift+");
    if (flags & ModifierFlags::control)
        text += QLatin1String("Meta+");
    return QKeySequence::fromString(text + m_windowHotkeyKey->toUpper(),
                                    QKeySequence::PortableText);
}
