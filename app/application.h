#pragma once

#include "app/maincoordinator.h"
#include "app/productservices.h"
#include "app/qmlwindowsystem.h"
#include "app/updater.h"
#include "core/log.h"

#include <QObject>
#include <QQmlEngine>

struct PlatformBackend;

/** The platform capabilities the application runs on, chosen by main(). */

/** Owns the QML engine, the coordinator and the settings window for the life of the process. */
class Application final : public QObject {
    Q_OBJECT

public:
    explicit Application(PlatformBackend& platform, QObject* parent = nullptr);
    ~Application() override;

    /** Launching has finished: synchronise the user, then ask for the input permission. */
    void start();

    [[nodiscard]] MainCoordinator& coordinator() { return *m_coordinator; }
    [[nodiscard]] QQmlEngine& engine() { return m_engine; }

private:
    PlatformBackend& m_platform;
    Log m_logger{"application"};
    QQmlEngine m_engine;
    QmlWindowSystem m_windowSystem{m_engine};
    ProductServices m_services;
    ReleasesPageUpdater m_updater;
    std::unique_ptr<MainCoordinator> m_coordinator;
    std::function<void()> m_openSettingsWindow;
};
