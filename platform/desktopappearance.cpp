#include "platform/desktopappearance.h"

#include "platform/x11/x11display.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

#include <optional>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

// 1 prefers dark, 2 prefers light, 0 has no preference.
std::optional<bool> portalPrefersDark() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Asking only a running portal keeps D-Bus from starting one and making us wait.
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(portalService).value())
        return std::nullopt;
    QDBusInterface settings(portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                            QStringLiteral("org.freedesktop.portal.Settings"), bus);
    settings.setTimeout(300);
    const QDBusReply<QDBusVariant> reply =
        settings.call(QStringLiteral("Read"), QStringLiteral("org.freedesktop.appearance"),
                      QStringLiteral("color-scheme"));
    if (!reply.isValid())
        return std::nullopt;
    QVariant value = reply.value().variant();
    // Some portals wrap the value once more.
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    if (!ok || scheme == 0)
        return std::nullopt;
    return scheme == 1;
}

} // namespace

bool DesktopAppearance::isDark() const {
    if (const std::optional<bool> dark = portalPrefersDark())
        return *dark;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

bool DesktopAppearance::hasCompositor() const {
    // A compositing manager owns the _NET_WM_CM_S<screen> selection while it runs.
    return !m_display || m_display->hasSelectionOwner("_NET_WM_CM_S0");
}
