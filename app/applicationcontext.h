#pragma once

#include <QQmlEngine>

#include <functional>

class MainCoordinator;
class QmlWindowSystem;
struct PlatformBackend;

/** What the parts of the application are wired with at start-up. */
struct ApplicationContext {
    QQmlEngine& engine;
    QmlWindowSystem& windowSystem;
    MainCoordinator& coordinator;
    PlatformBackend& platform;
    /** Parent for objects that live as long as the application. */
    QObject& owner;
    /** Replaced by whoever provides the settings window. */
    std::function<void()>& openSettingsWindow;
};

/** Gives the widget window its content and starts the widget's hotkeys. */
void wireWidget(ApplicationContext& context);
/** The settings, sign-in, help and no-connection windows and the tray. */
void wireSettings(ApplicationContext& context);
