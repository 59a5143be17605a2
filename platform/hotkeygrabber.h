#pragma once

#include <QtGlobal>

#include <functional>

/**
 * System-wide key combinations: while grabbed, their presses come to this process
 * whichever window has the focus. Each grab has an identifier chosen by the caller;
 * several identifiers may grab the same combination and all hear it.
 */
class HotkeyGrabberProtocol {
public:
    /** pressed is false for the release; timestamp is the window system's event time. */
    using Handler = std::function<void(quint32 id, bool pressed, quint32 timestamp)>;

    virtual ~HotkeyGrabberProtocol() = default;

    /**
     * Grabs keyCode (a virtual key) with flags (window-system modifier flags) in every
     * lock-key variant. Returns false, leaving nothing grabbed, when another
     * application holds the combination or the key cannot be typed on this keyboard.
     */
    virtual bool grab(quint32 id, int keyCode, quint64 flags) = 0;
    /** Releases the grab made under id; unknown identifiers are ignored. */
    virtual void ungrab(quint32 id) = 0;
    /** Whether another application holds the combination, found by trying to grab it. */
    [[nodiscard]] virtual bool isTaken(int keyCode, quint64 flags) = 0;
    /** Receives presses and releases of grabbed combinations on the main thread. */
    virtual void setHandler(Handler handler) = 0;
};
