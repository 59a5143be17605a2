#include "app/appmenuviewmodel.h"
#include "app/traymenu.h"
#include "core/appevents.h"
#include "store/appsettings.h"
#include "temporarysettings.h"

#include <QAction>
#include <QTest>

using namespace Qt::StringLiterals;

class AppMenuTest : public QObject {
    Q_OBJECT

private:
    TemporarySettings m_settings;
    QStringList m_triggered;
    AppEvents m_events;

    void storeHotkey(const QString& text) {
        AppSettings().setPreferencesSettings(PreferencesSettings{text});
    }
    AppMenuActions recordingActions() {
        const auto record = [this](const char* name) {
            return [this, name] {
                m_triggered << name;
            };
        };
        return {record("open"), record("close"),   record("toggle"), record("settings"),
                record("help"), record("updates"), record("quit")};
    }

private Q_SLOTS:
    void itemsInOrderAndTheOpenKeyFollowsTheHotkey() {
        storeHotkey("command+option+c");
        AppMenu menu(recordingActions(), m_events);
        QList<QAction*> list = menu.actions();
        list.removeIf([](QAction* action) { return action->isSeparator(); });
        for (QAction* action : list)
            action->trigger();
        QCOMPARE(m_triggered,
                 (QStringList{"open", "close", "toggle", "settings", "help", "updates", "quit"}));

        // The open item follows the stored hotkey.
        storeHotkey("control+shift+K");
        Q_EMIT m_events.windowHotkeyChanged();
        QCOMPARE(menu.openAction().shortcut(), QKeySequence("Meta+Shift+K"));
        // A hotkey without a usable key leaves the item as it was.
        storeHotkey("");
        Q_EMIT m_events.windowHotkeyChanged();
        QCOMPARE(menu.openAction().shortcut(), QKeySequence("Meta+Shift+K"));
    }
};

QTEST_MAIN(AppMenuTest)
#include "tst_appmenu.moc"
