#include "platform/wayland/waylandclipboard.h"

#include "core/logging.h"
#include "platform/wayland/waylandconnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QPointer>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// Text types in the order of preference; the X11 names reach clients behind XWayland.
constexpr std::array textTypes{"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT",
                               "STRING"};

/** Moves bytes through one non-blocking pipe end as the descriptor allows, then closes it. */
class PipeTransfer : public QObject {
public:
    PipeTransfer(int fd, QSocketNotifier::Type type, QByteArray data, QObject* parent)
        : QObject(parent)
        , m_fd(fd)
        , m_data(std::move(data))
        , m_notifier(fd, type, this) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        connect(&m_notifier, &QSocketNotifier::activated, this,
                [this, type] { type == QSocketNotifier::Read ? readSome() : writeSome(); });
    }
    ~PipeTransfer() override { close(m_fd); }

    std::function<void(QByteArray)> finished;

private:
    void readSome() {
        char buffer[4096];
        const ssize_t count = read(m_fd, buffer, sizeof buffer);
        if (count > 0) {
            m_data.append(buffer, count);
            return;
        }
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        done();
    }
    void writeSome() {
        const ssize_t count = m_data.isEmpty() ? 0 : write(m_fd, m_data.constData(), m_data.size());
        if (count > 0)
            m_data.remove(0, count);
        if (m_data.isEmpty() || (count < 0 && errno != EAGAIN && errno != EINTR))
            done();
    }
    void done() {
        m_notifier.setEnabled(false);
        if (finished)
            finished(std::move(m_data));
        deleteLater();
    }

    int m_fd;
    QByteArray m_data;
    QSocketNotifier m_notifier;
};

} // namespace

struct WaylandClipboard::Listeners {
    static void offerType(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType) {
        static_cast<WaylandClipboard*>(data)->m_offers[offer].append(QString::fromUtf8(mimeType));
    }
    static void dataOffer(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer) {
        static const zwlr_data_control_offer_v1_listener listener{&offerType};
        static_cast<WaylandClipboard*>(data)->m_offers.insert(offer, {});
        zwlr_data_control_offer_v1_add_listener(offer, &listener, data);
    }
    static void selection(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer) {
        static_cast<WaylandClipboard*>(data)->takeSelection(offer);
    }
    static void finished(void* data, zwlr_data_control_device_v1* device) {
        auto* self = static_cast<WaylandClipboard*>(data);
        qCCritical(lcApplication, "The compositor withdrew clipboard access");
        zwlr_data_control_device_v1_destroy(device);
        self->m_device = nullptr;
    }
    static void primarySelection(void* data, zwlr_data_control_device_v1*,
                                 zwlr_data_control_offer_v1* offer) {
        if (offer) {
            static_cast<WaylandClipboard*>(data)->m_offers.remove(offer);
            zwlr_data_control_offer_v1_destroy(offer);
        }
    }
    static void send(void* data, zwlr_data_control_source_v1*, const char*, int32_t fd) {
        static_cast<WaylandClipboard*>(data)->serve(fd);
    }
    static void cancelled(void* data, zwlr_data_control_source_v1* source) {
        auto* self = static_cast<WaylandClipboard*>(data);
        if (self->m_source == source)
            self->m_source = nullptr;
        zwlr_data_control_source_v1_destroy(source);
    }
};

WaylandClipboard::WaylandClipboard(std::shared_ptr<WaylandConnection> connection, QObject* parent)
    : ClipboardProtocol(parent)
    , m_connection(std::move(connection)) {
    static const zwlr_data_control_device_v1_listener listener{
        &Listeners::dataOffer, &Listeners::selection, &Listeners::finished,
        &Listeners::primarySelection};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_connection->dataControlManager(),
                                                            m_connection->seat());
    zwlr_data_control_device_v1_add_listener(m_device, &listener, this);
    // The current selection, so that text() is right from the start.
    m_connection->roundtrip();
}

WaylandClipboard::~WaylandClipboard() {
    for (auto it = m_offers.cbegin(); it != m_offers.cend(); ++it)
        zwlr_data_control_offer_v1_destroy(it.key());
    if (m_selection)
        zwlr_data_control_offer_v1_destroy(m_selection);
    if (m_source)
        zwlr_data_control_source_v1_destroy(m_source);
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    m_connection->flush();
}

void WaylandClipboard::takeSelection(zwlr_data_control_offer_v1* offer) {
    ++m_generation;
    if (m_selection)
        zwlr_data_control_offer_v1_destroy(m_selection);
    m_selection = offer;
    const QStringList types = m_offers.take(offer);
    // Our own source coming back, or nothing: no other application has copied.
    if (m_source || !offer)
        return;
    for (const char* type : textTypes) {
        if (types.contains(QLatin1String(type))) {
            receive(offer, type);
            return;
        }
    }
    m_text.reset();
    Q_EMIT changedByOtherApp();
}

void WaylandClipboard::receive(zwlr_data_control_offer_v1* offer, const QByteArray& mimeType) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        qCWarning(lcApplication, "No pipe for reading the clipboard: %s", std::strerror(errno));
        return;
    }
    zwlr_data_control_offer_v1_receive(offer, mimeType.constData(), fds[1]);
    m_connection->flush();
    close(fds[1]);
    auto* transfer = new PipeTransfer(fds[0], QSocketNotifier::Read, {}, this);
    transfer->finished = [self = QPointer(this), generation = m_generation](QByteArray data) {
        if (!self || self->m_generation != generation)
            return;
        self->m_text = QString::fromUtf8(data);
        Q_EMIT self->changedByOtherApp();
    };
}

void WaylandClipboard::serve(int fd) {
    new PipeTransfer(fd, QSocketNotifier::Write, m_served, this);
    Q_EMIT dataRequested();
}

void WaylandClipboard::dropSource() {
    if (m_source) {
        zwlr_data_control_source_v1_destroy(m_source);
        m_source = nullptr;
    }
}

void WaylandClipboard::clear() {
    if (!m_device)
        return;
    dropSource();
    zwlr_data_control_device_v1_set_selection(m_device, nullptr);
    m_connection->flush();
    m_text.reset();
}

void WaylandClipboard::setText(const QString& text) {
    if (!m_device)
        return;
    static const zwlr_data_control_source_v1_listener listener{&Listeners::send,
                                                               &Listeners::cancelled};
    zwlr_data_control_source_v1* source =
        zwlr_data_control_manager_v1_create_data_source(m_connection->dataControlManager());
    zwlr_data_control_source_v1_add_listener(source, &listener, this);
    for (const char* type : textTypes)
        zwlr_data_control_source_v1_offer(source, type);
    // The previous source is cancelled by the compositor when this one takes over.
    m_source = source;
    m_served = text.toUtf8();
    m_text = text;
    zwlr_data_control_device_v1_set_selection(m_device, source);
    m_connection->flush();
}
