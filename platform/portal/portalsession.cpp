#include "platform/portal/portalsession.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <memory>

Q_LOGGING_CATEGORY(lcPortal, "org.orvane.Orvane.portal")

const QString PortalSession::service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalSession::path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalSession::globalShortcuts =
    QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString PortalSession::remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

/** Waits for one Response on one request path, then deletes itself. */
class PendingRequest final : public QObject {
    Q_OBJECT

public:
    PendingRequest(QDBusConnection bus, QString requestPath, PortalSession::Done done,
                   QObject* parent)
        : QObject(parent)
        , m_bus(std::move(bus))
        , m_done(std::move(done)) {
        listen(std::move(requestPath));
    }

    /** Older portals may put the request elsewhere than asked: follow it there. */
    void movedTo(const QString& requestPath) {
        if (requestPath == m_path)
            return;
        m_bus.disconnect(PortalSession::service, m_path, requestInterface,
                         QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        listen(requestPath);
    }

    void finish(uint response, const QVariantMap& results) {
        if (!m_done)
            return;
        const PortalSession::Done done = std::move(m_done);
        m_done = {};
        m_bus.disconnect(PortalSession::service, m_path, requestInterface,
                         QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        done(response, results);
        deleteLater();
    }

public Q_SLOTS:
    void onResponse(uint response, const QVariantMap& results) { finish(response, results); }

private:
    void listen(QString requestPath) {
        m_path = std::move(requestPath);
        m_bus.connect(PortalSession::service, m_path, requestInterface, QStringLiteral("Response"),
                      this, SLOT(onResponse(uint, QVariantMap)));
    }

    QDBusConnection m_bus;
    QString m_path;
    PortalSession::Done m_done;
};

} // namespace

PortalSession::PortalSession(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

QString PortalSession::newToken() {
    return QStringLiteral("orvane%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_counter);
}

void PortalSession::request(const QString& interface, const QString& method,
                            const QVariantList& arguments, QVariantMap options, Done done) {
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    auto* pending = new PendingRequest(
        m_bus, path + QStringLiteral("/request/") + sender + QLatin1Char('/') + token,
        std::move(done), this);

    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(QVariantList(arguments) << options);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), pending);
    connect(watcher, &QDBusPendingCallWatcher::finished, pending,
            [pending, interface, method](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *call;
                if (reply.isError()) {
                    qCWarning(lcPortal, "Portal call %s.%s failed: %s", qUtf8Printable(interface),
                              qUtf8Printable(method), qUtf8Printable(reply.error().message()));
                    pending->finish(2, {});
                    return;
                }
                pending->movedTo(reply.value().path());
            });
}

void PortalSession::call(const QString& interface, const QString& method,
                         const QVariantList& arguments, const QString& objectPath) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, objectPath, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [interface, method](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (call->isError())
                    qCWarning(lcPortal, "Portal call %s.%s failed: %s", qUtf8Printable(interface),
                              qUtf8Printable(method), qUtf8Printable(call->error().message()));
            });
}

uint PortalSession::interfaceVersion(const QString& interface, QDBusConnection bus) {
    if (!bus.isConnected())
        return 0;
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({interface, QStringLiteral("version")});
    // Portals start on demand: give the first call time to bring one up.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

#include "portalsession.moc"
