#pragma once

#include "shortcuts/shortcut.h"

#include <QList>

#include <functional>
#include <map>

class HotkeyGrabberProtocol;

namespace Shortcuts {

/**
 * Hands shortcuts to the window system as system-wide hotkeys and turns their
 * presses back into the callbacks given at registration. Every registration gets a
 * fresh identifier, refused ones included; identifiers are never reused.
 */
class SystemHotkeys {
public:
    using Callback = std::function<void(const Shortcut&)>;

    /** One registration. */
    struct HotKey {
        Shortcut shortcut;
        qint64 systemHotKeyId = 0;
        Callback onKeyDown;
        Callback onKeyUp;
    };

    explicit SystemHotkeys(HotkeyGrabberProtocol& grabber);
    ~SystemHotkeys();
    SystemHotkeys(const SystemHotkeys&) = delete;
    SystemHotkeys& operator=(const SystemHotkeys&) = delete;

    /**
     * Registers shortcut system-wide. Returns false when the window system refuses
     * (another application holds it, or no key of this keyboard types it); a refused
     * registration leaves nothing behind but its used identifier.
     */
    bool registerShortcut(const Shortcut& shortcut, Callback onKeyDown, Callback onKeyUp);
    /** Removes every registration of an equal shortcut. */
    void unregisterShortcut(const Shortcut& shortcut);

    /**
     * Whether another application holds the shortcut, found by a trial grab: X11
     * keeps no list of reserved combinations. Our own registrations are not "taken".
     */
    [[nodiscard]] bool isTaken(const Shortcut& shortcut) const;
    /** Shortcuts the system reserves; X11 has no such list, so it is empty there. */
    [[nodiscard]] QList<Shortcut> systemShortcuts() const { return {}; }

    [[nodiscard]] const std::map<qint64, HotKey>& hotKeys() const { return m_hotKeys; }
    [[nodiscard]] qint64 lastIdentifier() const { return m_lastId; }

private:
    void deliver(quint32 id, bool pressed);

    HotkeyGrabberProtocol& m_grabber;
    std::map<qint64, HotKey> m_hotKeys;
    qint64 m_lastId = 0;
};

} // namespace Shortcuts
