#include "core/appevents.h"
#include "platform/virtualkeys.h"
#include "settings/recordercontrol.h"
#include "settings/settingscustomisationmodel.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "store/appsettings.h"
#include "temporarysettings.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

using Shortcuts::RecorderControl;
using Shortcuts::Shortcut;

class RecorderTest : public QObject {
    Q_OBJECT

private:
    TemporarySettings m_settings;
    QWindow m_window;
    QList<std::optional<Shortcut>> m_changes;
    std::unique_ptr<RecorderControl> m_recorder;
    const Shortcuts::Name m_name{u"TestShortcut"_s};
    Shortcuts::Registry m_registry;

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&m_window, key, modifiers);
    }
    std::optional<Shortcut> stored() const { return m_registry.shortcut(m_name); }

private Q_SLOTS:
    void initTestCase() { m_window.show(); }

    void init() {
        m_settings.clear();
        m_changes.clear();
        m_recorder = std::make_unique<RecorderControl>(
            m_registry, m_name, [this](const std::optional<Shortcut>& s) { m_changes << s; });
        m_recorder->setRecording(true);
    }

    void cleanup() {
        m_recorder.reset();
        RecorderControl::setApplicationMenu(nullptr);
        RecorderControl::setSystemCheck({});
    }

    // Without a usable modifier a key beeps and recording goes on; Escape keeps what was
    // stored, Backspace clears it and goes on recording.
    void keysWhileRecording_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<int>("beeps");
        QTest::newRow("no modifier") << QStringList{"C"} << QString() << true << 1;
        QTest::newRow("shift only") << QStringList{"Shift+C"} << QString() << true << 1;
        QTest::newRow("function key") << QStringList{"F5"} << u"F5"_s << false << 0;
        QTest::newRow("with shift") << QStringList{"Shift+F5"} << u"Shift+F5"_s << false << 0;
        QTest::newRow("escape") << QStringList{"Ctrl+J", "Esc"} << u"Ctrl+J"_s << false << 0;
        QTest::newRow("backspace") << QStringList{"Ctrl+J", "Backspace"} << QString() << true << 0;
    }
    void keysWhileRecording() {
        QFETCH(QStringList, keys);
        QFETCH(QString, text);
        QFETCH(bool, recording);
        QFETCH(int, beeps);
        QSignalSpy beeped(m_recorder.get(), &RecorderControl::beeped);
        for (const QString& key : std::as_const(keys)) {
            m_recorder->setRecording(true);
            const QKeyCombination combination = QKeySequence(key)[0];
            press(combination.key(), combination.keyboardModifiers());
        }
        QCOMPARE(m_recorder->text(), text);
        QCOMPARE(stored() ? RecorderControl::displayText(*stored()) : QString(), text);
        QCOMPARE(m_changes.value(m_changes.size() - 1), stored());
        QCOMPARE(m_recorder->isRecording(), recording);
        QCOMPARE(m_registry.deliveryPaused(), recording);
        QCOMPARE(beeped.count(), beeps);
    }

    void menuAndSystemShortcutsAreRefusedWithAnAlert() {
        // The application menu's actions, nested as a submenu's would be.
        QObject menu;
        QObject more(&menu);
        (new QAction("Settings", &more))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
        RecorderControl::setApplicationMenu(&menu);
        RecorderControl::setSystemCheck([](const Shortcut& s) {
            return s == *Shortcuts::HotkeyText::toShortcut("command+option+t");
        });
        QSignalSpy alerts(m_recorder.get(), &RecorderControl::alertRequested);

        press(Qt::Key_Comma, Qt::ControlModifier);
        QCOMPARE(alerts.count(), 1);
        QVERIFY(alerts.first().first().toString().contains("Settings"));
        QVERIFY(!m_recorder->isRecording());
        m_recorder->alertDismissed();
        QVERIFY(m_recorder->isRecording());

        press(Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(alerts.count(), 2);
        QCOMPARE(alerts.last().at(0).toString(), qtTrId("keyboard_shortcut_used_by_system"));
        QCOMPARE(alerts.last().at(1).toString(), qtTrId("keyboard_shortcuts_can_be_changed"));
        QVERIFY(!stored());
        QVERIFY(m_changes.isEmpty());
    }

    void recordsCombinationsHeldAsGlobalHotkeys() {
        // Such a press reaches the hotkey layer, never a window.
        const Shortcut held =
            Shortcut::fromKey(Shortcuts::Key{40}, ModifierFlags::command | ModifierFlags::option);
        m_registry.deliver(held, true);
        QCOMPARE(stored(), held);
        QVERIFY(!m_recorder->isRecording());
        QVERIFY(!m_registry.deliveryPaused());

        m_registry.deliver(Shortcut::fromKey(Shortcuts::Key{8}, ModifierFlags::command), true);
        QCOMPARE(stored(), held); // no longer recording: nothing changes
    }

    void windowHotkeyUpdateStoresTheTextForm() {
        m_recorder.reset();
        AppEvents events;
        SettingsCustomisationModel model(events, m_registry, nullptr);
        QSignalSpy updates(&events, &AppEvents::windowHotkeyChanged);
        model.windowHotkeyRecorder()->setRecording(true);
        press(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(AppSettings().preferencesSettings().windowHotkey, u"command+option+c"_s);
        QCOMPARE(updates.count(), 1);
    }
};

QTEST_MAIN(RecorderTest)
#include "tst_recorder.moc"
