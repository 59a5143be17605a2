#pragma once

#include "app/windowcontent.h"
#include "app/windowsystem.h"

#include <QQmlEngine>

#include <map>
#include <memory>

/**
 * The coordinator's windows as QML windows loaded from the Orvane.Views module. The
 * engine and each view are created when a window is first shown.
 */
class QmlWindowSystem final : public WindowSystemProtocol {
public:
    QmlWindowSystem();
    ~QmlWindowSystem() override;

    std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind) override;
    std::optional<ScreenInfo> mainScreen() const override;

    /** Gives windows of kind their view and content; a kind without one has no window. */
    void setContentProvider(AppConstants::Window kind,
                            std::unique_ptr<WindowContentProvider> provider);

    /** The views' engine, created with the first view that is shown. */
    [[nodiscard]] QQmlEngine& engine();

private:
    std::unique_ptr<QQmlEngine> m_engine;
    std::map<AppConstants::Window, std::unique_ptr<WindowContentProvider>> m_providers;
};
