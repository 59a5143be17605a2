#include "app/updater.h"

#include <QDesktopServices>

ReleasesPageUpdater::ReleasesPageUpdater(QUrl releasesPage)
    : m_releasesPage(std::move(releasesPage)) {}

void ReleasesPageUpdater::checkForUpdates() {
    QDesktopServices::openUrl(m_releasesPage);
}
