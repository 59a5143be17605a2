#include "shortcuts/systemhotkeys.h"

#include "platform/hotkeygrabber.h"

#include <limits>

namespace Shortcuts {

namespace {

constexpr qint64 maxSystemValue = std::numeric_limits<quint32>::max();

bool fitsSystem(qint64 value) {
    return value >= 0 && value <= maxSystemValue;
}

} // namespace

SystemHotkeys::SystemHotkeys(HotkeyGrabberProtocol& grabber)
    : m_grabber(grabber) {
    m_grabber.setHandler([this](quint32 id, bool pressed, quint32) { deliver(id, pressed); });
}

SystemHotkeys::~SystemHotkeys() {
    m_grabber.setHandler({});
    for (const auto& [id, hotKey] : m_hotKeys)
        m_grabber.ungrab(static_cast<quint32>(id));
}

bool SystemHotkeys::registerShortcut(const Shortcut& shortcut, Callback onKeyDown,
                                     Callback onKeyUp) {
    const qint64 id = ++m_lastId;
    if (!fitsSystem(id) || !fitsSystem(shortcut.keyCode) || !fitsSystem(shortcut.hotkeyModifiers))
        return false;
    if (!m_grabber.grab(static_cast<quint32>(id), static_cast<int>(shortcut.keyCode),
                        shortcut.modifiers()))
        return false;
    m_hotKeys.emplace(id, HotKey{shortcut, id, std::move(onKeyDown), std::move(onKeyUp)});
    return true;
}

void SystemHotkeys::unregisterShortcut(const Shortcut& shortcut) {
    for (auto it = m_hotKeys.begin(); it != m_hotKeys.end();) {
        if (it->second.shortcut == shortcut) {
            m_grabber.ungrab(static_cast<quint32>(it->first));
            it = m_hotKeys.erase(it);
        } else {
            ++it;
        }
    }
}

bool SystemHotkeys::isTaken(const Shortcut& shortcut) const {
    if (!fitsSystem(shortcut.keyCode))
        return false;
    return m_grabber.isTaken(static_cast<int>(shortcut.keyCode), shortcut.modifiers());
}

void SystemHotkeys::deliver(quint32 id, bool pressed) {
    const auto it = m_hotKeys.find(id);
    if (it == m_hotKeys.end())
        return;
    // Copies: a callback may unregister its own hotkey.
    const Shortcut shortcut = it->second.shortcut;
    const Callback callback = pressed ? it->second.onKeyDown : it->second.onKeyUp;
    if (callback)
        callback(shortcut);
}

} // namespace Shortcuts
