#include "platform/wayland/waylandwindowtracker.h"

#include "platform/polling.h"
#include "platform/wayland/waylandconnection.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <wayland-client.h>

namespace {

constexpr auto confirmInterval = std::chrono::milliseconds(20);
constexpr int confirmAttempts = 100;

} // namespace

struct WaylandWindowTracker::Listeners {
    static WaylandWindowTracker::Toplevel& of(void* data, zwlr_foreign_toplevel_handle_v1* h) {
        return static_cast<WaylandWindowTracker*>(data)->m_toplevels[h];
    }
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId) {
        of(data, handle).pendingAppId = QString::fromUtf8(appId);
    }
    static void output(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states) {
        bool activated = false;
        const auto* begin = static_cast<const uint32_t*>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
            activated |= begin[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        of(data, handle).pendingActivated = activated;
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        Toplevel& toplevel = of(data, handle);
        toplevel.appId = toplevel.pendingAppId;
        toplevel.activated = toplevel.pendingActivated;
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        static_cast<WaylandWindowTracker*>(data)->m_toplevels.remove(handle);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* handle) {
        static const zwlr_foreign_toplevel_handle_v1_listener listener{
            &title, &appId, &output, &output, &state, &done, &closed, &parent};
        auto* self = static_cast<WaylandWindowTracker*>(data);
        self->m_toplevels[handle].id = self->m_nextId++;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, data);
    }
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1*) {
        static_cast<WaylandWindowTracker*>(data)->m_tracks = false;
    }
};

WaylandWindowTracker::WaylandWindowTracker(std::shared_ptr<WaylandConnection> connection,
                                           TimerSource& timers)
    : m_connection(std::move(connection))
    , m_timers(timers) {
    if (!m_connection || !m_connection->toplevelManager() || !m_connection->seat())
        return;
    static const zwlr_foreign_toplevel_manager_v1_listener listener{&Listeners::toplevel,
                                                                    &Listeners::finished};
    zwlr_foreign_toplevel_manager_v1_add_listener(m_connection->toplevelManager(), &listener, this);
    m_tracks = true;
    // The windows open now and their states.
    m_connection->roundtrip();
}

WaylandWindowTracker::~WaylandWindowTracker() {
    for (auto it = m_toplevels.cbegin(); it != m_toplevels.cend(); ++it)
        zwlr_foreign_toplevel_handle_v1_destroy(it.key());
}

zwlr_foreign_toplevel_handle_v1* WaylandWindowTracker::handle(quint32 id) const {
    for (auto it = m_toplevels.cbegin(); it != m_toplevels.cend(); ++it) {
        if (it->id == id)
            return it.key();
    }
    return nullptr;
}

std::optional<RunningApp> WaylandWindowTracker::frontmostApp() const {
    if (!m_tracks) {
        if (QGuiApplication::focusWindow())
            return RunningApp{focusReturnWindow, QCoreApplication::applicationPid(), {}};
        return RunningApp{focusReturnWindow, 0, {}};
    }
    for (const Toplevel& toplevel : m_toplevels) {
        if (toplevel.activated)
            return RunningApp{toplevel.id, 0, toplevel.appId};
    }
    return std::nullopt;
}

void WaylandWindowTracker::activate(const RunningApp& app, std::function<void(bool)> done) {
    zwlr_foreign_toplevel_handle_v1* target = m_tracks ? handle(app.windowId) : nullptr;
    if (!target) {
        // Nothing to ask for: the focus goes back by itself once our window hides.
        if (done)
            QTimer::singleShot(0, QCoreApplication::instance(),
                               [done, ok = !m_tracks] { done(ok); });
        return;
    }
    zwlr_foreign_toplevel_handle_v1_activate(target, m_connection->seat());
    m_connection->flush();
    if (!done)
        return;
    pollUntil(
        m_timers, confirmInterval, confirmAttempts,
        [this, id = app.windowId] {
            const zwlr_foreign_toplevel_handle_v1* now = handle(id);
            return now &&
                   m_toplevels.value(const_cast<zwlr_foreign_toplevel_handle_v1*>(now)).activated;
        },
        std::move(done));
}

bool WaylandWindowTracker::isAlive(const RunningApp& app) const {
    return !m_tracks || handle(app.windowId) != nullptr;
}

bool WaylandWindowTracker::isOwnApp(const RunningApp& app) const {
    if (app.processId != 0 && app.processId == QCoreApplication::applicationPid())
        return true;
    // Qt names its windows after the desktop file.
    const QString own = QGuiApplication::desktopFileName();
    return m_tracks && !own.isEmpty() && app.windowClass == own;
}
