#pragma once

#include "platform/globalshortcuts.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>

class PortalSession;

/**
 * Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts):
 * one session for the process, the whole list bound again whenever it changes.
 */
class PortalGlobalShortcuts final : public QObject, public GlobalShortcutsProtocol {
    Q_OBJECT

public:
    explicit PortalGlobalShortcuts(QDBusConnection bus = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);
    ~PortalGlobalShortcuts() override;

    void bindShortcuts(const QList<DesktopShortcut>& shortcuts) override;
    void setHandler(Handler handler) override { m_handler = std::move(handler); }

private Q_SLOTS:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);
    void onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                       const QVariantMap& options);

private:
    void createSession();
    void sendBinding();

    PortalSession* m_portal;
    QString m_session;
    QList<DesktopShortcut> m_wanted;
    bool m_binding = false;
    bool m_dirty = false;
    Handler m_handler;
};
