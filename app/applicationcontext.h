#pragma once

#include <QObject>

class AppEvents;
namespace Shortcuts {
class Registry;
}
class MainCoordinator;
class QmlWindowSystem;
class ServiceBase;
class TimerSource;
struct PlatformBackend;

/** What the parts of the application are wired with at start-up. */
struct ApplicationContext {
    QmlWindowSystem& windowSystem;
    MainCoordinator& coordinator;
    PlatformBackend& platform;
    /** Parent for objects that live as long as the application. */
    QObject& owner;
    AppEvents& events;
    TimerSource& timers;
    const ServiceBase& base;
    /** The named global hotkeys; the widget binds them, the settings record them. */
    Shortcuts::Registry& hotkeys;
};

/** Gives the widget window its content and starts the widget's hotkeys. */
void wireWidget(ApplicationContext& context);
/** The settings, sign-in, help and no-connection windows and the tray. */
void wireSettings(ApplicationContext& context);
