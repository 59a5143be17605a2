#pragma once

#include "app/windowsystem.h"

#include <QObject>
#include <QQmlEngine>

/**
 * The views plugin: one QML engine for every window, with the views' modules and the
 * models' types compiled in. The application loads it with the first window it shows.
 */
class QuickViews final : public QObject, public ViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ORVANE_VIEW_FACTORY_IID)
    Q_INTERFACES(ViewFactory)

public:
    QuickViews();
    ~QuickViews() override;

    QWindow* createView(const QUrl& view, QObject& content) override;

private:
    std::unique_ptr<QQmlEngine> m_engine;
};
