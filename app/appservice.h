#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>

namespace Shortcuts {
class Registry;
}

/**
 * The running instance on the session bus: org.orvane.Orvane at /org/orvane/Orvane.
 * Owning the name is what keeps a second instance from starting; Trigger runs a
 * shortcut's action for desktops that cannot give applications global shortcuts, and
 * Show is how a second start brings the first one forward.
 */
class AppService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Orvane")

public:
    static const QString serviceName;
    static const QString objectPath;

    enum class Claim { Owned, AlreadyRunning, NoBus };
    /** Takes the well-known name on bus, without queueing behind another owner. */
    static Claim claimName(QDBusConnection bus);

    /**
     * Asks the instance that owns the name to run action ("widget", "toggle",
     * "prompt:ID"). Returns an empty string on success, otherwise a sentence for the user.
     */
    static QString sendTrigger(QDBusConnection bus, const QString& action);
    /** Asks the instance that owns the name to show itself; false when none answered. */
    static bool sendShow(QDBusConnection bus);

    AppService(Shortcuts::Registry& hotkeys, std::function<void()> show, QObject* parent = nullptr);

    /** Exports this object; call after claimName() succeeded. */
    bool exportOn(QDBusConnection bus);

public Q_SLOTS:
    void Trigger(const QString& what);
    void Show();

private:
    Shortcuts::Registry& m_hotkeys;
    std::function<void()> m_show;
};
