#include "temporarysettings.h"

#include "core/settingsstore.h"

#include <QSettings>
#include <QStandardPaths>

TemporarySettings::TemporarySettings() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    clear();
}

TemporarySettings::~TemporarySettings() {
    clear();
}

void TemporarySettings::clear() {
    auto store = openSettingsStore();
    store->clear();
    store->sync();
}
