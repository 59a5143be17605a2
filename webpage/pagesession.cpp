#include "webpage/pagesession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonObject>
#include <QMouseEvent>
#include <QSocketNotifier>

#include <cstdlib>
#include <unistd.h>
#include <xcb/xcb.h>

PageSession::PageSession(int input, std::FILE* output, QObject* parent)
    : QObject(parent)
    , m_input(input)
    , m_output(output) {
    connect(&m_bridge, &WebView::action, this,
            [this](const QString& identifier) { write(PageProtocol::actionReport(identifier)); });
    connect(&m_bridge, &WebView::pageLoaded, this,
            [this](const QUrl& url) { write(PageProtocol::loadedReport(url)); });
    m_notifier = new QSocketNotifier(m_input, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PageSession::readInput);
}

PageSession::~PageSession() = default;

void PageSession::start() {
    // Orvane reparents the window into its own; bypassing the window manager keeps
    // it from being framed, placed or focused as a top-level window meanwhile.
    m_view.setFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    m_view.setResizeMode(QQuickView::SizeRootObjectToView);
    m_view.setInitialProperties({{QStringLiteral("bridge"), QVariant::fromValue(&m_bridge)}});
    m_view.setSource(QUrl(QStringLiteral("qrc:/qt/qml/Orvane/WebPage/PageView.qml")));
    // Off screen until orvane has taken it in: nothing flashes at the desktop's corner.
    m_view.setGeometry(-10000, -10000, 800, 600);
    m_view.installEventFilter(this);
    m_view.show();
    write(PageProtocol::windowReport(m_view.winId()));
}

bool PageSession::eventFilter(QObject* watched, QEvent* event) {
    // Embedded, the window gets no focus from the window manager: a click takes it,
    // so that typing reaches the page's fields. Qt may hold the window for active when
    // the X focus has gone to orvane's window around it, so this asks every time.
    if (watched == &m_view && event->type() == QEvent::MouseButtonPress)
        m_view.requestActivate();
    return QObject::eventFilter(watched, event);
}

void PageSession::handle(const QJsonObject& command) {
    const QString name = command.value(QStringLiteral("command")).toString();
    if (const std::optional<PageProtocol::Load> load = PageProtocol::parseLoad(command)) {
        m_view.setColor(QColor::fromString(load->background.isEmpty() ? QStringLiteral("white")
                                                                      : load->background));
        m_bridge.setRequest(*load);
    } else if (name == QLatin1String("moved")) {
        announcePosition();
    } else if (name == QLatin1String("reload")) {
        m_bridge.reload();
    } else if (name == QLatin1String("quit")) {
        QCoreApplication::quit();
    }
}

void PageSession::announcePosition() {
    // Moving orvane's window moves this one on the screen without telling it; Qt
    // places pointer events by its idea of the window's position, so it is told the
    // way window managers tell reparented windows: a synthetic ConfigureNotify in
    // root coordinates.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto window = xcb_window_t(m_view.winId());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, screen->root, 0, 0), nullptr);
    xcb_get_geometry_reply_t* size =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!reply || !size) {
        std::free(reply);
        std::free(size);
        return;
    }
    xcb_configure_notify_event_t event{};
    event.response_type = XCB_CONFIGURE_NOTIFY;
    event.event = window;
    event.window = window;
    event.x = reply->dst_x;
    event.y = reply->dst_y;
    event.width = size->width;
    event.height = size->height;
    std::free(reply);
    std::free(size);
    xcb_send_event(connection, false, window, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

void PageSession::readInput() {
    char buffer[4096];
    const ssize_t count = ::read(m_input, buffer, sizeof buffer);
    if (count <= 0) {
        m_notifier->setEnabled(false);
        QCoreApplication::quit();
        return;
    }
    for (const QJsonObject& command : m_reader.append(QByteArray(buffer, count)))
        handle(command);
}

void PageSession::write(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), m_output);
    std::fflush(m_output);
}
