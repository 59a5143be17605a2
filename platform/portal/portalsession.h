#pragma once

#include <QDBusConnection>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcPortal)

/**
 * The calls every desktop portal shares: a method answers at once with a Request
 * object and the real answer arrives later as that Request's Response signal. The
 * request's path is known before the call (it is made of our unique bus name and a
 * token we choose), so the answer is listened for before asking.
 */
class PortalSession final : public QObject {
    Q_OBJECT

public:
    static const QString service;
    static const QString path;
    static const QString globalShortcuts;
    static const QString remoteDesktop;

    /** Response codes: 0 success, 1 the user cancelled, 2 anything else. */
    using Done = std::function<void(uint response, const QVariantMap& results)>;

    explicit PortalSession(QDBusConnection bus, QObject* parent = nullptr);

    /**
     * Calls interface.method with arguments followed by options (with a fresh
     * "handle_token"); done runs once with the Response, or with 2 when the call fails.
     */
    void request(const QString& interface, const QString& method, const QVariantList& arguments,
                 QVariantMap options, Done done);
    /** Calls a method that answers directly, on objectPath; failures are logged. */
    void call(const QString& interface, const QString& method, const QVariantList& arguments,
              const QString& objectPath = path);

    /** A token for a "session_handle_token" or "handle_token" option. */
    [[nodiscard]] QString newToken();

    [[nodiscard]] QDBusConnection& bus() { return m_bus; }

    /** The interface's "version" property; 0 when the portal or the interface is absent. */
    [[nodiscard]] static uint interfaceVersion(const QString& interface,
                                               QDBusConnection bus = QDBusConnection::sessionBus());

private:
    QDBusConnection m_bus;
    quint64 m_counter = 0;
};
