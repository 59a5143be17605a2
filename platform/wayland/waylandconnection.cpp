#include "platform/wayland/waylandconnection.h"

#include "core/logging.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <cstring>
#include <wayland-client.h>

namespace {

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void globalRemoved(void*, wl_registry*, uint32_t) {}

} // namespace

std::shared_ptr<WaylandConnection> WaylandConnection::open() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // The globals; what is bound answers once its user has a listener on it.
    connection->roundtrip();
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display)
    : m_display(display) {
    static const wl_registry_listener listener{&WaylandConnection::global, &globalRemoved};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);

    m_notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandConnection::dispatch);
    // Requests made anywhere on the main thread go out before it sleeps.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &WaylandConnection::flush);
}

WaylandConnection::~WaylandConnection() {
    if (m_virtualKeyboardManager)
        zwp_virtual_keyboard_manager_v1_destroy(m_virtualKeyboardManager);
    if (m_dataControlManager)
        zwlr_data_control_manager_v1_destroy(m_dataControlManager);
    if (m_toplevelManager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_toplevelManager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

void WaylandConnection::global(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    self->m_globals.append(QString::fromUtf8(interface));
    // The first seat is the one the user types on; compositors offer one.
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
        self->m_seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 1);
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        self->m_virtualKeyboardManager = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        self->m_dataControlManager = bind<zwlr_data_control_manager_v1>(
            registry, name, &zwlr_data_control_manager_v1_interface, version, 1);
    else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0)
        self->m_toplevelManager = bind<zwlr_foreign_toplevel_manager_v1>(
            registry, name, &zwlr_foreign_toplevel_manager_v1_interface, version, 1);
}

void WaylandConnection::flush() {
    wl_display_flush(m_display);
}

void WaylandConnection::roundtrip() {
    wl_display_roundtrip(m_display);
}

void WaylandConnection::dispatch() {
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    if (wl_display_read_events(m_display) != 0 || wl_display_dispatch_pending(m_display) < 0) {
        // A dead connection would wake us forever.
        m_notifier->setEnabled(false);
        qCCritical(lcApplication, "The connection to the Wayland compositor broke: %s",
                   std::strerror(wl_display_get_error(m_display)));
        return;
    }
    flush();
}
