#pragma once

#include "platform/globalshortcuts.h"
#include "shortcuts/shortcut.h"

#include <QList>
#include <QObject>

namespace Shortcuts {

class Registry;

/**
 * Offers the registry's bound names to a desktop that owns the shortcut keys, and
 * turns the desktop's activations into the same triggered() a grabbed key press gives.
 * The list is handed over again whenever a name is bound, unbound or changes keys.
 */
class DesktopShortcuts final : public QObject {
    Q_OBJECT

public:
    DesktopShortcuts(Registry& registry, GlobalShortcutsProtocol& desktop,
                     QObject* parent = nullptr);
    ~DesktopShortcuts() override;

    /** The XDG form of a shortcut, "CTRL+SHIFT+a"; empty when its key has no name. */
    [[nodiscard]] static QString xdgTrigger(const Shortcut& shortcut);

private:
    void offer();

    Registry& m_registry;
    GlobalShortcutsProtocol& m_desktop;
    QList<DesktopShortcut> m_offered;
    bool m_offeredOnce = false;
};

} // namespace Shortcuts
