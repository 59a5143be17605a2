#pragma once

#include "platform/windowtracker.h"

#include <memory>

class TimerSource;
class X11Display;

/** The active window from the window manager's _NET_ACTIVE_WINDOW. */
class X11WindowTracker final : public WindowTrackerProtocol {
public:
    X11WindowTracker(std::shared_ptr<X11Display> display, TimerSource& timers);

    [[nodiscard]] std::optional<RunningApp> frontmostApp() const override;
    void activate(const RunningApp& app, std::function<void(bool)> done = {}) override;
    [[nodiscard]] bool isAlive(const RunningApp& app) const override;
    [[nodiscard]] bool isOwnApp(const RunningApp& app) const override;

private:
    [[nodiscard]] quint32 activeWindow() const;

    std::shared_ptr<X11Display> m_display;
    TimerSource& m_timers;
};
