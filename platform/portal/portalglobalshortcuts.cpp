#include "platform/portal/portalglobalshortcuts.h"

#include "platform/portal/portalsession.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

namespace {

/** One entry of BindShortcuts' a(sa{sv}). */
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcutEntry)

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_portal(new PortalSession(std::move(bus), this)) {
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
    for (const QString& signal : {QStringLiteral("Activated"), QStringLiteral("Deactivated")})
        m_portal->bus().connect(PortalSession::service, PortalSession::path,
                                PortalSession::globalShortcuts, signal, this,
                                SLOT(onShortcutSignal(QDBusMessage)));
    createSession();
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    if (!m_session.isEmpty())
        m_portal->call(QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close"),
                       {}, m_session);
}

void PortalGlobalShortcuts::createSession() {
    m_binding = true;
    m_portal->request(PortalSession::globalShortcuts, QStringLiteral("CreateSession"), {},
                      {{QStringLiteral("session_handle_token"), m_portal->newToken()}},
                      [this](uint response, const QVariantMap& results) {
                          m_binding = false;
                          m_session = results.value(QStringLiteral("session_handle")).toString();
                          if (response != 0 || m_session.isEmpty()) {
                              qCWarning(lcPortal,
                                        "The desktop refused a global shortcuts session (%u)",
                                        response);
                              m_session.clear();
                              return;
                          }
                          if (m_dirty)
                              sendBinding();
                      });
}

void PortalGlobalShortcuts::bindShortcuts(const QList<DesktopShortcut>& shortcuts) {
    m_wanted = shortcuts;
    m_dirty = true;
    if (!m_binding && !m_session.isEmpty())
        sendBinding();
}

void PortalGlobalShortcuts::sendBinding() {
    QList<PortalShortcutEntry> entries;
    for (const DesktopShortcut& shortcut : std::as_const(m_wanted)) {
        QVariantMap properties{{QStringLiteral("description"), shortcut.description}};
        if (!shortcut.preferredTrigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), shortcut.preferredTrigger);
        entries.append({shortcut.id, properties});
    }
    m_dirty = false;
    m_binding = true;
    m_portal->request(
        PortalSession::globalShortcuts, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(entries), QString()},
        {}, [this](uint response, const QVariantMap&) {
            m_binding = false;
            if (response != 0)
                qCWarning(lcPortal, "The desktop did not bind our shortcuts (%u)", response);
            // The list changed while the desktop was asking the user.
            if (m_dirty)
                sendBinding();
        });
}

void PortalGlobalShortcuts::onShortcutSignal(const QDBusMessage& signal) {
    const QVariantList arguments = signal.arguments();
    if (arguments.size() < 2 || !m_handler)
        return;
    if (qdbus_cast<QDBusObjectPath>(arguments.at(0)).path() != m_session)
        return;
    m_handler(arguments.at(1).toString(), signal.member() == QLatin1String("Activated"));
}
