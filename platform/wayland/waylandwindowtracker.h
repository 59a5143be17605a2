#pragma once

#include "platform/windowtracker.h"

#include <QHash>
#include <QString>

#include <memory>

class TimerSource;
class WaylandConnection;
struct zwlr_foreign_toplevel_handle_v1;

/**
 * The active window from wlroots' foreign toplevel list, where the compositor offers
 * it. Elsewhere Wayland does not say which window is active: the window in front is
 * then "whichever had the focus before ours", activating it means letting our window
 * go, and the paste goes to whatever regains the focus; tracksWindows() says so.
 */
class WaylandWindowTracker final : public WindowTrackerProtocol {
public:
    /** connection may lack the toplevel manager, or be null. */
    WaylandWindowTracker(std::shared_ptr<WaylandConnection> connection, TimerSource& timers);
    ~WaylandWindowTracker() override;

    [[nodiscard]] std::optional<RunningApp> frontmostApp() const override;
    void activate(const RunningApp& app, std::function<void(bool)> done = {}) override;
    [[nodiscard]] bool isAlive(const RunningApp& app) const override;
    [[nodiscard]] bool isOwnApp(const RunningApp& app) const override;

    /** Whether windows are known by name (false: the paste goes where the focus returns). */
    [[nodiscard]] bool tracksWindows() const { return m_tracks; }

    /** The window id that stands for "whichever window gets the focus back". */
    static constexpr quint32 focusReturnWindow = 1;

private:
    struct Toplevel {
        quint32 id = 0;
        QString appId;
        bool activated = false;
        // What the compositor has said since its last "done".
        QString pendingAppId;
        bool pendingActivated = false;
    };
    struct Listeners;

    [[nodiscard]] zwlr_foreign_toplevel_handle_v1* handle(quint32 id) const;

    std::shared_ptr<WaylandConnection> m_connection;
    TimerSource& m_timers;
    bool m_tracks = false;
    QHash<zwlr_foreign_toplevel_handle_v1*, Toplevel> m_toplevels;
    quint32 m_nextId = focusReturnWindow + 1;
};
