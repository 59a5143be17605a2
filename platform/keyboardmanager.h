#pragma once

#include <QtGlobal>

#include <functional>

/** Posts key presses to whatever window has the keyboard focus. */
class KeyboardManagerProtocol {
public:
    virtual ~KeyboardManagerProtocol() = default;

    /**
     * Presses and releases one key at once. keyCode is a virtual key (VirtualKeys),
     * flags are window-system modifier flags (ModifierFlags); 0 means no modifier.
     */
    virtual void postKeystroke(int keyCode, quint64 flags) = 0;

    /**
     * Calls ready (on this thread, never before returning) once the user has let go
     * of every key (the hotkey that triggered us), waiting about a second at most.
     * Keys still held then are released synthetically and never pressed again, so
     * the next keystroke reaches the target exactly as posted and no key stays stuck.
     */
    virtual void whenModifiersReleased(std::function<void()> ready) = 0;
};
