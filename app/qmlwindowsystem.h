#pragma once

#include "app/windowsystem.h"

#include <QQmlEngine>

/** The coordinator's windows as QML windows loaded from the Orvane.Views module. */
class QmlWindowSystem final : public WindowSystemProtocol {
public:
    explicit QmlWindowSystem(QQmlEngine& engine);

    std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind,
                                            MainCoordinatorProtocol& coordinator) override;
    std::optional<ScreenInfo> mainScreen() const override;
    void closeFirstWindowWithTitleSuffix(const QString& suffix) override;

    /** The QML file of a window kind, by its qrc URL. */
    static QUrl viewUrl(AppConstants::Window kind);

private:
    QQmlEngine& m_engine;
};
