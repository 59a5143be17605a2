#include "qml/models/pagehost.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QProcess>
#include <QQuickWindow>
#include <QTimer>

namespace {

// How long a helper may take to close its browser engine before it is killed.
constexpr int quitGraceMs = 5000;

} // namespace

PageHost::PageHost(QQuickItem* parent)
    : QQuickItem(parent) {}

PageHost::~PageHost() {
    stopHelper();
}

QString PageHost::helperPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("orvane-webpage"));
}

void PageHost::setRequest(const QVariant& request) {
    m_request = request.value<PageRequest>();
    Q_EMIT requestChanged();
    sendLoad();
}

void PageHost::setReloadActionId(const QString& identifier) {
    if (m_reloadActionId == identifier)
        return;
    m_reloadActionId = identifier;
    Q_EMIT reloadActionIdChanged();
}

void PageHost::setBackground(const QColor& colour) {
    if (m_background == colour)
        return;
    m_background = colour;
    Q_EMIT backgroundChanged();
}

void PageHost::reload() {
    send(PageProtocol::reloadCommand());
}

void PageHost::componentComplete() {
    QQuickItem::componentComplete();
    followWindow(window());
}

void PageHost::itemChange(ItemChange change, const ItemChangeData& data) {
    QQuickItem::itemChange(change, data);
    if (change == ItemSceneChange)
        followWindow(data.window);
    else if (change == ItemVisibleHasChanged)
        updateRunning();
}

void PageHost::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    polish();
}

void PageHost::updatePolish() {
    // The scene rectangle also moves when an ancestor is laid out anew, which this
    // item hears of only through the window's geometry; all of it lands here, and the
    // helper hears of every move, as its window moves along unannounced.
    if (m_foreign) {
        m_foreign->setGeometry(mapRectToScene(boundingRect()).toAlignedRect());
        send(PageProtocol::movedCommand());
    }
}

void PageHost::followWindow(QQuickWindow* window) {
    if (window == m_window && !m_windowConnections.isEmpty()) {
        updateRunning();
        return;
    }
    for (const QMetaObject::Connection& connection : std::as_const(m_windowConnections))
        disconnect(connection);
    m_windowConnections.clear();
    m_window = window;
    if (window) {
        m_windowConnections << connect(window, &QWindow::visibleChanged, this,
                                       &PageHost::updateRunning)
                            << connect(window, &QWindow::xChanged, this, &QQuickItem::polish)
                            << connect(window, &QWindow::yChanged, this, &QQuickItem::polish)
                            << connect(window, &QWindow::widthChanged, this, &QQuickItem::polish)
                            << connect(window, &QWindow::heightChanged, this, &QQuickItem::polish);
    }
    updateRunning();
}

void PageHost::updateRunning() {
    const bool shown = isComponentComplete() && isVisible() && m_window && m_window->isVisible();
    if (shown && !m_process)
        startHelper();
    else if (!shown && m_process)
        stopHelper();
}

void PageHost::startHelper() {
    m_process = new QProcess(this);
    m_reader = {};
    // The helper inherits the environment: sandbox, Chromium flags, remote debugging.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &PageHost::readOutput);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            qCCritical(lcSettings, "Failed to start the page helper %s: %s",
                       qUtf8Printable(helperPath()), qUtf8Printable(m_process->errorString()));
    });
    m_process->start(helperPath(), {});
    sendLoad();
}

void PageHost::stopHelper() {
    if (m_foreign) {
        m_foreign->hide();
        delete m_foreign;
        Q_EMIT embeddedChanged();
    }
    if (!m_process)
        return;
    QProcess* process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        delete process;
        return;
    }
    // The helper shuts its engine down in order when asked; it outlives this item
    // for that and is killed if it takes too long.
    process->setParent(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QTimer::singleShot(quitGraceMs, process, [process] { process->kill(); });
    process->write(PageProtocol::quitCommand());
    process->closeWriteChannel();
}

void PageHost::send(const QByteArray& line) {
    if (m_process)
        m_process->write(line);
}

void PageHost::sendLoad() {
    if (!m_request.isValid())
        return;
    PageProtocol::Load load{m_request.url, m_request.headers, m_background.name(),
                            m_reloadActionId};
    send(PageProtocol::loadCommand(load));
}

void PageHost::readOutput() {
    for (const QJsonObject& report : m_reader.append(m_process->readAllStandardOutput())) {
        if (report.contains(QStringLiteral("window")))
            embed(WId(report.value(QStringLiteral("window")).toDouble()));
        else if (report.contains(QStringLiteral("action")))
            Q_EMIT action(report.value(QStringLiteral("action")).toString());
        else if (report.contains(QStringLiteral("loaded")))
            Q_EMIT loaded(QUrl(report.value(QStringLiteral("loaded")).toString()));
    }
}

void PageHost::embed(WId id) {
    if (!m_window || m_foreign)
        return;
    m_foreign = QWindow::fromWinId(id);
    m_foreign->setParent(m_window);
    m_foreign->setGeometry(mapRectToScene(boundingRect()).toAlignedRect());
    m_foreign->show();
    send(PageProtocol::movedCommand());
    Q_EMIT embeddedChanged();
}
