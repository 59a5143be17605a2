#include "platform/x11/x11windowtracker.h"

#include "platform/polling.h"
#include "platform/x11/x11display.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

namespace {

constexpr auto confirmInterval = std::chrono::milliseconds(20);
// Two seconds: a busy window manager can take well over one to hand the focus over.
constexpr int confirmAttempts = 100;
// _NET_ACTIVE_WINDOW source indication "pager": window managers honour it without
// applying focus-stealing prevention.
constexpr quint32 sourcePager = 2;

} // namespace

X11WindowTracker::X11WindowTracker(std::shared_ptr<X11Display> display, TimerSource& timers)
    : m_display(std::move(display))
    , m_timers(timers) {}

quint32 X11WindowTracker::activeWindow() const {
    return m_display->cardinalProperty(m_display->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW)
        .value_or(0);
}

std::optional<RunningApp> X11WindowTracker::frontmostApp() const {
    const quint32 window = activeWindow();
    if (window == 0)
        return std::nullopt;
    RunningApp app;
    app.windowId = window;
    app.processId =
        m_display->cardinalProperty(window, "_NET_WM_PID", XCB_ATOM_CARDINAL).value_or(0);
    // WM_CLASS holds the instance name and then the class name, each NUL-terminated.
    const QList<QByteArray> parts =
        m_display->byteProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    if (parts.size() >= 2)
        app.windowClass = QString::fromLocal8Bit(parts.at(1));
    return app;
}

void X11WindowTracker::activate(const RunningApp& app, std::function<void(bool)> done) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = app.windowId;
    event.type = m_display->atom("_NET_ACTIVE_WINDOW");
    event.data.data32[0] = sourcePager;
    event.data.data32[1] = XCB_CURRENT_TIME;
    event.data.data32[2] = activeWindow();
    xcb_send_event(m_display->connection(), 0, m_display->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(m_display->connection());
    if (!done)
        return;

    const std::shared_ptr<X11Display> display = m_display;
    const quint32 wanted = app.windowId;
    pollUntil(
        m_timers, confirmInterval, confirmAttempts,
        [display, wanted] {
            return display->cardinalProperty(display->root(), "_NET_ACTIVE_WINDOW",
                                             XCB_ATOM_WINDOW) == wanted;
        },
        std::move(done));
}

bool X11WindowTracker::isAlive(const RunningApp& app) const {
    // A closed window is no longer managed; a reused id would belong to another process.
    const QByteArray clients = m_display->byteProperty(
        m_display->root(), m_display->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    const auto* ids = reinterpret_cast<const quint32*>(clients.constData());
    const auto count = clients.size() / qsizetype(sizeof(quint32));
    if (std::find(ids, ids + count, app.windowId) == ids + count)
        return false;
    const qint64 pid =
        m_display->cardinalProperty(app.windowId, "_NET_WM_PID", XCB_ATOM_CARDINAL).value_or(0);
    return pid == app.processId;
}

bool X11WindowTracker::isOwnApp(const RunningApp& app) const {
    if (app.processId != 0 && app.processId == QCoreApplication::applicationPid())
        return true;
    const QWindowList windows = QGuiApplication::allWindows();
    return std::any_of(windows.cbegin(), windows.cend(), [&](const QWindow* window) {
        return window->handle() && window->winId() == app.windowId;
    });
}
