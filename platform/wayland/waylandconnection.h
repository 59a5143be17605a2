#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_foreign_toplevel_manager_v1;
struct zwp_virtual_keyboard_manager_v1;
class QSocketNotifier;

/**
 * A connection of our own to the Wayland compositor, beside Qt's: the privileged
 * wlroots protocols (virtual keyboard, data control, foreign toplevels) are bound here,
 * and their events are read on the main thread whenever the socket has data.
 */
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    /** Connects to WAYLAND_DISPLAY; null when there is no compositor to talk to. */
    static std::shared_ptr<WaylandConnection> open();
    ~WaylandConnection() override;

    [[nodiscard]] wl_display* display() const { return m_display; }
    [[nodiscard]] wl_seat* seat() const { return m_seat; }
    [[nodiscard]] zwp_virtual_keyboard_manager_v1* virtualKeyboardManager() const {
        return m_virtualKeyboardManager;
    }
    [[nodiscard]] zwlr_data_control_manager_v1* dataControlManager() const {
        return m_dataControlManager;
    }
    [[nodiscard]] zwlr_foreign_toplevel_manager_v1* toplevelManager() const {
        return m_toplevelManager;
    }
    /** The interface names of every global the compositor offers. */
    [[nodiscard]] QStringList globals() const { return m_globals; }

    /** Sends what is queued; requests made outside event handling need it. */
    void flush();
    /** Waits for the compositor to answer everything sent so far (start-up only). */
    void roundtrip();

private:
    explicit WaylandConnection(wl_display* display);
    void dispatch();
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);

    wl_display* m_display;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_virtualKeyboardManager = nullptr;
    zwlr_data_control_manager_v1* m_dataControlManager = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_toplevelManager = nullptr;
    QStringList m_globals;
    QSocketNotifier* m_notifier = nullptr;
};
