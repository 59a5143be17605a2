#include "shortcuts/desktopshortcuts.h"

#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"

#include <QStringList>

namespace Shortcuts {

namespace {

/** Key symbol names of the punctuation keys a hotkey may use. */
QString keysymName(const QString& character) {
    static const QHash<QString, QString> names{
        {QStringLiteral(";"), QStringLiteral("semicolon")},
        {QStringLiteral(","), QStringLiteral("comma")},
        {QStringLiteral("="), QStringLiteral("equal")},
        {QStringLiteral("-"), QStringLiteral("minus")},
        {QStringLiteral("."), QStringLiteral("period")},
        {QStringLiteral("'"), QStringLiteral("apostrophe")},
        {QStringLiteral("/"), QStringLiteral("slash")},
        {QStringLiteral("("), QStringLiteral("bracketleft")},
        {QStringLiteral(")"), QStringLiteral("bracketright")}};
    return names.value(character, character);
}

} // namespace

DesktopShortcuts::DesktopShortcuts(Registry& registry, GlobalShortcutsProtocol& desktop,
                                   QObject* parent)
    : QObject(parent)
    , m_registry(registry)
    , m_desktop(desktop) {
    m_desktop.setHandler([this](const QString& id, bool pressed) {
        if (!pressed)
            return;
        if (const std::optional<QString> name = Names::fromActionId(id))
            m_registry.activate(*name);
    });
    // Names come and go in bursts (every prompt on a reload): offer once they settle.
    connect(&m_registry, &Registry::bindingsChanged, this, &DesktopShortcuts::offer,
            Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, &DesktopShortcuts::offer, Qt::QueuedConnection);
}

DesktopShortcuts::~DesktopShortcuts() {
    m_desktop.setHandler({});
}

QString DesktopShortcuts::xdgTrigger(const Shortcut& shortcut) {
    const std::optional<QString> character = HotkeyText::characterForKeyCode(shortcut.keyCode);
    if (!character)
        return {};
    QStringList parts;
    const qint64 modifiers = shortcut.hotkeyModifiers;
    if (modifiers & HotkeyModifiers::command)
        parts << QStringLiteral("CTRL");
    if (modifiers & HotkeyModifiers::option)
        parts << QStringLiteral("ALT");
    if (modifiers & HotkeyModifiers::shift)
        parts << QStringLiteral("SHIFT");
    if (modifiers & HotkeyModifiers::control)
        parts << QStringLiteral("LOGO");
    parts << keysymName(*character);
    return parts.join(QLatin1Char('+'));
}

void DesktopShortcuts::offer() {
    QList<DesktopShortcut> shortcuts;
    for (const Registry::Bound& bound : m_registry.bound()) {
        const QString id = Names::actionId(bound.name);
        if (id.isEmpty())
            continue;
        shortcuts.append({id, bound.description.isEmpty() ? id : bound.description,
                          bound.shortcut ? xdgTrigger(*bound.shortcut) : QString()});
    }
    // Nothing is bound before sign-in: no need to bother the desktop with an empty list.
    if (m_offeredOnce ? shortcuts == m_offered : shortcuts.isEmpty())
        return;
    m_offeredOnce = true;
    m_offered = shortcuts;
    m_desktop.bindShortcuts(shortcuts);
}

} // namespace Shortcuts
