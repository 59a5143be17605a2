#pragma once

#include <QObject>
#include <QString>

#include <functional>

/**
 * Starting Orvane at login, through an XDG autostart entry
 * ($XDG_CONFIG_HOME/autostart/org.orvane.Orvane.desktop). Enabled means the entry
 * exists and is not hidden. Failures are logged, never reported to the caller.
 */
namespace LoginItem {

[[nodiscard]] bool isEnabled();
/** Enabling again rewrites the entry, so it always starts the running executable. */
void setEnabled(bool enabled);
[[nodiscard]] QString autostartFilePath();

/** For bindings: reads and writes LoginItem, announcing each write before and after. */
class Observable : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)
public:
    /** The one instance every write goes through. */
    static Observable& shared();

    [[nodiscard]] bool isEnabled() const { return LoginItem::isEnabled(); }
    void setEnabled(bool enabled) { LoginItem::setEnabled(enabled); }

Q_SIGNALS:
    void isEnabledAboutToChange(bool enabled);
    /** Carries the value that was set, even when writing it failed. */
    void isEnabledChanged(bool enabled);

private:
    Observable() = default;
};

/**
 * The value stream: handler hears the current value at once, then every value that
 * is set, until context is destroyed.
 */
QMetaObject::Connection subscribe(const QObject* context, std::function<void(bool)> handler);

} // namespace LoginItem
