#pragma once

#include "app/windowcontent.h"
#include "app/windowsystem.h"

#include <QQmlEngine>

#include <map>

/** The coordinator's windows as QML windows loaded from the Orvane.Views module. */
class QmlWindowSystem final : public WindowSystemProtocol {
public:
    explicit QmlWindowSystem(QQmlEngine& engine);

    std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind,
                                            MainCoordinatorProtocol& coordinator) override;
    std::optional<ScreenInfo> mainScreen() const override;
    void closeFirstWindowWithTitleSuffix(const QString& suffix) override;

    /** Gives windows of kind their view and content; without one, a plain view is shown. */
    void setContentProvider(AppConstants::Window kind, std::unique_ptr<WindowContentProvider> provider);

    /** The plain view of a window kind, by its qrc URL. */
    static QUrl viewUrl(AppConstants::Window kind);

private:
    QQmlEngine& m_engine;
    std::map<AppConstants::Window, std::unique_ptr<WindowContentProvider>> m_providers;
};
