#pragma once

#include <QObject>

/**
 * The application-wide events that components which do not know each other react
 * to. One instance lives as long as the application and is handed to whoever
 * emits or listens.
 */
class AppEvents final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    /** The user asked to sign out (from a page of the service). */
    void userLoggedOut();
    /** The widget hotkey was changed in the settings. */
    void windowHotkeyChanged();
    /** Hourly: global hotkeys are bound again, in case the window system dropped them. */
    void hotkeysRefreshRequested();
    /** The widget window was hidden, by the widget itself or from outside (tray, toggle). */
    void widgetHidden();
};
