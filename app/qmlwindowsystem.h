#pragma once

#include "app/windowcontent.h"
#include "app/windowsystem.h"

#include <QQmlEngine>

#include <map>

/** The coordinator's windows as QML windows loaded from the Orvane.Views module. */
class QmlWindowSystem final : public WindowSystemProtocol {
public:
    explicit QmlWindowSystem(QQmlEngine& engine);

    std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind) override;
    std::optional<ScreenInfo> mainScreen() const override;

    /** Gives windows of kind their view and content; a kind without one has no window. */
    void setContentProvider(AppConstants::Window kind,
                            std::unique_ptr<WindowContentProvider> provider);

private:
    QQmlEngine& m_engine;
    std::map<AppConstants::Window, std::unique_ptr<WindowContentProvider>> m_providers;
};
