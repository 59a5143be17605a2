#pragma once

#include "app/windowcontent.h"
#include "app/windowsystem.h"

#include <QPluginLoader>
#include <QPointer>

#include <map>
#include <memory>

/**
 * The coordinator's windows as QML windows. Their views come from the views plugin,
 * loaded with the first window that is shown; each view is built when its window is
 * first shown or placed.
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

    /** Where the views plugin is looked for: beside the executable, then installed. */
    [[nodiscard]] static QStringList pluginCandidates();

private:
    /** The views plugin, loaded on first use; nullptr when it cannot be loaded. */
    ViewFactory* views();

    std::map<AppConstants::Window, std::unique_ptr<WindowContentProvider>> m_providers;
    QPluginLoader m_loader;
    QPointer<QObject> m_plugin;
    bool m_loadTried = false;
};
