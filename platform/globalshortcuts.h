#pragma once

#include <QList>
#include <QString>

#include <functional>

/** One action offered to a desktop that owns the keys of global shortcuts. */
struct DesktopShortcut {
    /** Stable across starts: the desktop keeps the user's chosen keys under it. */
    QString id;
    QString description;
    /** The key we suggest in XDG form ("CTRL+SHIFT+a"); empty for none. */
    QString preferredTrigger;

    friend bool operator==(const DesktopShortcut&, const DesktopShortcut&) = default;
};

/**
 * Global shortcuts where the desktop, not the application, decides the keys: the
 * application lists its actions, the user assigns keys in the desktop's settings, and
 * the desktop reports which action was activated.
 */
class GlobalShortcutsProtocol {
public:
    /** pressed is false when the keys are let go. */
    using Handler = std::function<void(const QString& id, bool pressed)>;

    virtual ~GlobalShortcutsProtocol() = default;

    /** Replaces every shortcut of this application with shortcuts. */
    virtual void bindShortcuts(const QList<DesktopShortcut>& shortcuts) = 0;
    /** Receives activations on the main thread. */
    virtual void setHandler(Handler handler) = 0;
};
