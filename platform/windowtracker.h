#pragma once

#include "core/runningapp.h"

#include <functional>
#include <optional>

/** Which application window is in front, and bringing one back. */
class WindowTrackerProtocol {
public:
    virtual ~WindowTrackerProtocol() = default;

    /** The window that has the focus now, if the window system says. */
    [[nodiscard]] virtual std::optional<RunningApp> frontmostApp() const = 0;
    /**
     * Asks the window manager to activate app's window; done (optional) hears whether
     * the window was confirmed active within a short bound.
     */
    virtual void activate(const RunningApp& app, std::function<void(bool)> done = {}) = 0;
    /** Whether app's window still exists and belongs to the same process. */
    [[nodiscard]] virtual bool isAlive(const RunningApp& app) const = 0;
    /** Whether app is one of this process's own windows. */
    [[nodiscard]] virtual bool isOwnApp(const RunningApp& app) const = 0;
};
