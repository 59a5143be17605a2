#include "app/appservice.h"

#include "core/logging.h"
#include "shortcuts/shortcuts.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

const QString AppService::serviceName = QStringLiteral("org.orvane.Orvane");
const QString AppService::objectPath = QStringLiteral("/org/orvane/Orvane");

namespace {

const QString notAvailableError = QStringLiteral("org.orvane.Orvane.Error.NotAvailable");

QDBusMessage callOwner(QDBusConnection bus, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        AppService::serviceName, AppService::objectPath, AppService::serviceName, method);
    call.setArguments(arguments);
    // Nothing may start Orvane behind the user's back: only a running instance answers.
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, 10000);
}

} // namespace

AppService::Claim AppService::claimName(QDBusConnection bus) {
    if (!bus.isConnected())
        return Claim::NoBus;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        return Claim::NoBus;
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::Owned
                                                                        : Claim::AlreadyRunning;
}

QString AppService::sendTrigger(QDBusConnection bus, const QString& action) {
    if (!bus.isConnected())
        return QStringLiteral("there is no session bus to reach a running Orvane through "
                              "(DBUS_SESSION_BUS_ADDRESS is unset or unreachable)");
    const QDBusMessage reply = callOwner(bus, QStringLiteral("Trigger"), {action});
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {};
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return QStringLiteral("Orvane is not running; start it first (run \"orvane\")");
    return reply.errorMessage();
}

bool AppService::sendShow(QDBusConnection bus) {
    return callOwner(bus, QStringLiteral("Show"), {}).type() != QDBusMessage::ErrorMessage;
}

AppService::AppService(Shortcuts::Registry& hotkeys, std::function<void()> show, QObject* parent)
    : QObject(parent)
    , m_hotkeys(hotkeys)
    , m_show(std::move(show)) {}

bool AppService::exportOn(QDBusConnection bus) {
    return bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots);
}

void AppService::Trigger(const QString& what) {
    const std::optional<QString> name = Shortcuts::Names::fromActionId(what);
    if (!name) {
        sendErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("unknown action \"%1\"; use widget, toggle or prompt:ID").arg(what));
        return;
    }
    qCInfo(lcHotkeys, "Action \"%s\" asked for over D-Bus", qUtf8Printable(what));
    if (!m_hotkeys.activate(*name))
        sendErrorReply(notAvailableError,
                       QStringLiteral("\"%1\" is not available right now: sign in to Orvane "
                                      "first; a prompt must exist and be enabled")
                           .arg(what));
}

void AppService::Show() {
    // Answered at once; the window may take a while to build.
    if (m_show)
        QMetaObject::invokeMethod(this, m_show, Qt::QueuedConnection);
}
