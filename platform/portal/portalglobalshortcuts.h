#pragma once

#include "platform/globalshortcuts.h"

#include <QDBusConnection>
#include <QDBusMessage>
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

public Q_SLOTS:
    // Public: D-Bus delivers signals to public slots only.
    void onShortcutSignal(const QDBusMessage& signal);

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
