#include "platform/x11/x11selectionreader.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QPointer>

#include <cstdlib>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace {

// Per read of one selection, all formats together; a hung owner costs no more.
constexpr int readTimeoutMs = 2000;

// Targets that name no data of their own, describe the owner rather than the data, or
// are server resources that would not outlive their owner.
const QList<QByteArray> skipped{"TARGETS",
                                "MULTIPLE",
                                "TIMESTAMP",
                                "SAVE_TARGETS",
                                "DELETE",
                                "INSERT_SELECTION",
                                "INSERT_PROPERTY",
                                "PIXMAP",
                                "BITMAP",
                                "DRAWABLE",
                                "COLORMAP",
                                "WINDOW",
                                "ATOM",
                                "LENGTH",
                                "LIST_LENGTH",
                                "HOSTNAME",
                                "IP_ADDRESS",
                                "CLASS",
                                "NAME",
                                "CLIENT_WINDOW",
                                "OWNER_OS",
                                "USER",
                                "PROCESS",
                                "TASK"};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

/** One X connection of the reading thread with a window to receive conversions on. */
class Connection {
public:
    Connection()
        : m_connection(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const quint32 events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        m_property = atom("ORVANE_SELECTION");
        m_incr = atom("INCR");
    }
    ~Connection() { xcb_disconnect(m_connection); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] bool isValid() const { return m_window != XCB_NONE; }

    xcb_atom_t atom(const QByteArray& name) {
        if (const auto it = m_atoms.constFind(name); it != m_atoms.constEnd())
            return *it;
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, name.size(), name.constData()),
            nullptr));
        const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
        m_atoms.insert(name, value);
        return value;
    }

    QByteArray atomName(xcb_atom_t atom) {
        const Owned<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
        if (!reply)
            return {};
        return QByteArray(xcb_get_atom_name_name(reply.get()),
                          xcb_get_atom_name_name_length(reply.get()));
    }

    ClipboardContent read(const QByteArray& selection, const QList<QByteArray>& wanted) {
        ClipboardContent content;
        const xcb_atom_t selectionAtom = atom(selection);
        const Owned<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, selectionAtom), nullptr));
        if (!owner || owner->owner == XCB_NONE)
            return content;
        content.owned = true;
        const QDeadlineTimer deadline(readTimeoutMs);
        const std::optional<QByteArray> targets = convert(selectionAtom, atom("TARGETS"), deadline);
        if (!targets)
            return content;
        const auto* atoms = reinterpret_cast<const xcb_atom_t*>(targets->constData());
        QList<QByteArray> offered;
        for (qsizetype i = 0; i < targets->size() / qsizetype(sizeof(xcb_atom_t)); ++i) {
            const QByteArray name = atomName(atoms[i]);
            if (!name.isEmpty() && !skipped.contains(name) && !offered.contains(name))
                offered.append(name);
        }
        if (!wanted.isEmpty()) {
            const auto first = std::find_if(wanted.cbegin(), wanted.cend(), [&](const auto& name) {
                return offered.contains(name);
            });
            offered = first == wanted.cend() ? QList<QByteArray>{} : QList<QByteArray>{*first};
        }
        for (const QByteArray& name : std::as_const(offered)) {
            if (deadline.hasExpired())
                break;
            if (const std::optional<QByteArray> data = convert(selectionAtom, atom(name), deadline))
                content.formats.append({name, *data});
        }
        return content;
    }

private:
    /** Waits for the first event that matches, or nothing at the deadline. */
    template <typename Match>
    Owned<xcb_generic_event_t> waitFor(Match match, const QDeadlineTimer& deadline) {
        const int fd = xcb_get_file_descriptor(m_connection);
        while (true) {
            while (Owned<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
                if (match(event.get()))
                    return event;
            }
            if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
                return nullptr;
            pollfd descriptor{fd, POLLIN, 0};
            poll(&descriptor, 1, static_cast<int>(deadline.remainingTime()));
        }
    }

    /** Takes the property (deleting it, which asks an INCR sender for more). */
    std::optional<std::pair<xcb_atom_t, QByteArray>> takeProperty() {
        const Owned<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 1, m_window, m_property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                                   nullptr));
        if (!reply)
            return std::nullopt;
        return std::pair{reply->type,
                         QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                    xcb_get_property_value_length(reply.get()))};
    }

    std::optional<QByteArray> convert(xcb_atom_t selection, xcb_atom_t target,
                                      const QDeadlineTimer& deadline) {
        xcb_convert_selection(m_connection, m_window, selection, target, m_property,
                              XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        const Owned<xcb_generic_event_t> notify = waitFor(
            [&](xcb_generic_event_t* event) {
                if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                    return false;
                const auto* selectionNotify =
                    reinterpret_cast<xcb_selection_notify_event_t*>(event);
                return selectionNotify->requestor == m_window &&
                       selectionNotify->selection == selection && selectionNotify->target == target;
            },
            deadline);
        if (!notify ||
            reinterpret_cast<xcb_selection_notify_event_t*>(notify.get())->property == XCB_NONE)
            return std::nullopt;
        std::optional<std::pair<xcb_atom_t, QByteArray>> value = takeProperty();
        if (!value || value->first != m_incr)
            return value ? std::optional(value->second) : std::nullopt;

        QByteArray data;
        while (true) {
            const Owned<xcb_generic_event_t> changed = waitFor(
                [&](xcb_generic_event_t* event) {
                    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                        return false;
                    const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    return property->window == m_window && property->atom == m_property &&
                           property->state == XCB_PROPERTY_NEW_VALUE;
                },
                deadline);
            if (!changed)
                return std::nullopt;
            const std::optional<std::pair<xcb_atom_t, QByteArray>> chunk = takeProperty();
            if (!chunk)
                return std::nullopt;
            if (chunk->second.isEmpty())
                return data;
            data += chunk->second;
        }
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_incr = XCB_NONE;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};

/** Lives on the reading thread; its connection is made there on first use. */
class Worker : public QObject {
public:
    std::unique_ptr<Connection> connection;
};

} // namespace

X11SelectionReader::X11SelectionReader()
    : m_worker(new Worker) {
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("selection reader"));
    m_thread.start();
}

X11SelectionReader::~X11SelectionReader() {
    m_thread.quit();
    m_thread.wait();
}

void X11SelectionReader::read(const QByteArray& selection, const QList<QByteArray>& wanted,
                              QObject* receiver, std::function<void(ClipboardContent)> done) {
    auto* worker = static_cast<Worker*>(m_worker);
    QMetaObject::invokeMethod(
        worker,
        [worker, selection, wanted, receiver = QPointer(receiver), done = std::move(done)] {
            if (!worker->connection || !worker->connection->isValid())
                worker->connection = std::make_unique<Connection>();
            const ClipboardContent content = worker->connection->read(selection, wanted);
            if (receiver)
                QMetaObject::invokeMethod(
                    receiver.data(), [done, content] { done(content); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
