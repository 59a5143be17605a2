#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "core/settingsstore.h"
#include "fakeplatform.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "temporarysettings.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace Shortcuts;

namespace {

const Shortcut ctrlAltC{8, 0x900};
const Shortcut ctrlShiftX{7, 0x300};
const Shortcut ctrlK{40, 0x100};

} // namespace

/** Named storage, registration and dispatch, over a fake system-wide grabber. */
class ShortcutStorageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettings> m_settings;
    std::unique_ptr<FakeHotkeyGrabber> m_grabber;
    std::unique_ptr<SystemHotkeys> m_layer;
    QStringList m_changes;
    QObject m_observer;

    QVariant stored(const QString& name) const {
        return openSettingsStore()->value(u"Shortcuts_"_s + name);
    }

    [[nodiscard]] bool grabbed(const Shortcut& shortcut) const {
        for (const auto& [id, combination] : m_grabber->grabs) {
            if (combination.keyCode == shortcut.keyCode &&
                combination.flags == shortcut.modifiers())
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        NotificationCenter::defaultCenter().addObserver(
            Notifications::shortcutByNameDidChange, &m_observer, [this](const QVariantMap& info) {
                m_changes.append(info.value(u"name"_s).toString());
            });
    }

    void init() {
        m_settings = std::make_unique<TemporarySettings>();
        m_grabber = std::make_unique<FakeHotkeyGrabber>();
        m_layer = std::make_unique<SystemHotkeys>(*m_grabber);
        setSystemHotkeys(m_layer.get());
        setDeliveryPaused(false);
        m_changes.clear();
    }

    void cleanup() {
        setSystemHotkeys(nullptr);
        m_layer.reset();
        m_grabber.reset();
        m_settings.reset();
    }

    void aDefaultAppliesOnceAndAClearedNameStaysCleared() {
        const Name toggle = Names::windowToggleHotkey();
        QCOMPARE(shortcutForName(toggle), ctrlShiftX);
        QCOMPARE(Shortcut::fromJson(stored(u"WindowToggleHotkey"_s).toString().toUtf8()),
                 ctrlShiftX);
        QVERIFY(grabbed(ctrlShiftX));
        QCOMPARE(m_changes, QStringList{u"WindowToggleHotkey"_s});

        storeShortcut(std::nullopt, toggle);
        QVERIFY(!grabbed(ctrlShiftX));
        QVERIFY(!shortcutForName(toggle));
        // The next start builds the name again: the default must not come back.
        m_layer.reset();
        setSystemHotkeys(nullptr);
        m_grabber = std::make_unique<FakeHotkeyGrabber>();
        m_layer = std::make_unique<SystemHotkeys>(*m_grabber);
        setSystemHotkeys(m_layer.get());
        QVERIFY(!shortcutForName(Names::windowToggleHotkey()));
        QCOMPARE(stored(u"WindowToggleHotkey"_s).toString(), u"false"_s);
        QVERIFY(m_grabber->grabs.empty());

        // Clearing what holds nothing is silent.
        m_changes.clear();
        storeShortcut(std::nullopt, toggle);
        storeShortcut(std::nullopt, Names::tempShortcut());
        QVERIFY(m_changes.isEmpty());
    }

    void storingMovesTheRegistrationAndClearingWithoutDefaultRemovesTheKey() {
        const Name temp = Names::tempShortcut();
        storeShortcut(ctrlAltC, temp);
        storeShortcut(ctrlK, temp);
        QVERIFY(!grabbed(ctrlAltC));
        QVERIFY(grabbed(ctrlK));
        QCOMPARE(shortcutForName(temp), ctrlK);
        QCOMPARE(m_changes, (QStringList{u"TempShortcut"_s, u"TempShortcut"_s}));

        storeShortcut(std::nullopt, temp);
        QVERIFY(!openSettingsStore()->contains(u"Shortcuts_TempShortcut"_s));
        QVERIFY(!grabbed(ctrlK));
    }

    void undecodableStorageReadsAsNone() {
        openSettingsStore()->setValue(u"Shortcuts_preset_hotkey_7"_s, u"{\"keyCode\":8}"_s);
        openSettingsStore()->setValue(u"Shortcuts_preset_hotkey_8"_s, u"not json"_s);
        QVERIFY(!shortcutForName(Names::presetHotkey(7)));
        QVERIFY(!shortcutForName(Names::presetHotkey(8)));
        // Something is stored, so a default given now does not apply.
        QVERIFY(!shortcutForName(Names::presetHotkey(8, ctrlK)));
    }

    void everyNameWithThePressedShortcutFiresInOrderAndActionsAccumulate() {
        const Name first(u"preset_hotkey_1"_s, ctrlK);
        const Name second(u"preset_hotkey_2"_s, ctrlK);
        const Name other(u"preset_hotkey_3"_s, ctrlAltC);
        QStringList fired;
        const auto action = [&fired](const char* what) {
            return [&fired, what] {
                fired.append(QLatin1String(what));
            };
        };
        addKeyDownAction(first, action("first"));
        addKeyDownAction(first, action("first again"));
        addKeyDownAction(second, action("second"));
        addKeyUpAction(second, action("second up"));
        addKeyDownAction(other, action("other"));
        // Registered once although two names hold it.
        QCOMPARE(
            std::count_if(m_grabber->grabs.cbegin(), m_grabber->grabs.cend(),
                          [](const auto& grab) { return grab.second.keyCode == ctrlK.keyCode; }),
            1);

        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers());
        QCOMPARE(fired, (QStringList{u"first"_s, u"first again"_s, u"second"_s}));
        fired.clear();
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers(), false);
        QCOMPARE(fired, QStringList{u"second up"_s});

        // Re-registration resets names and adds the actions again: they accumulate.
        fired.clear();
        resetToDefaults({first, second, other});
        addKeyDownAction(second, action("second"));
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers());
        QCOMPARE(fired.count(u"second"_s), 2);

        fired.clear();
        setDeliveryPaused(true);
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers());
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers(), false);
        QVERIFY(fired.isEmpty());
    }

    void theScratchSlotUnregistersAShortcutAPromptStillStores() {
        const Name prompt = Names::presetHotkey(5, ctrlK);
        int presses = 0;
        addKeyDownAction(prompt, [&presses] { ++presses; });
        storeShortcut(ctrlK, Names::tempShortcut());
        storeShortcut(ctrlAltC, Names::tempShortcut());
        QCOMPARE(shortcutForName(prompt), ctrlK);
        QVERIFY(!grabbed(ctrlK));
        resetToDefaults({prompt});
        addKeyDownAction(prompt, [] {});
        QVERIFY(grabbed(ctrlK));
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers());
        QCOMPARE(presses, 1);
    }

    void identifiersAreNeverReusedAndRefusalsLeaveNoTrace() {
        SystemHotkeys& layer = *m_layer;
        const qint64 start = layer.lastIdentifier();
        int downs = 0;
        int ups = 0;
        const auto down = [&downs](const Shortcut&) {
            ++downs;
        };
        const auto up = [&ups](const Shortcut&) {
            ++ups;
        };

        QVERIFY(layer.registerShortcut(ctrlK, down, up));
        QVERIFY(layer.registerShortcut(ctrlK, down, up));
        QCOMPARE(layer.hotKeys().size(), size_t(2));
        QCOMPARE(layer.hotKeys().begin()->first, start + 1);
        QCOMPARE(std::next(layer.hotKeys().begin())->first, start + 2);

        m_grabber->takenByOthers.append({int(ctrlAltC.keyCode), ctrlAltC.modifiers()});
        QVERIFY(layer.isTaken(ctrlAltC));
        QVERIFY(!layer.isTaken(ctrlK));
        QVERIFY(!layer.registerShortcut(ctrlAltC, down, up));
        QCOMPARE(layer.hotKeys().size(), size_t(2));
        QVERIFY(!layer.registerShortcut(Shortcut{-1, 0}, down, up));
        QVERIFY(layer.registerShortcut(ctrlShiftX, down, up));
        QCOMPARE(layer.lastIdentifier(), start + 5);
        QVERIFY(layer.hotKeys().contains(start + 5));

        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers(), false);
        QCOMPARE(downs, 0);
        QCOMPARE(ups, 2);

        layer.unregisterShortcut(ctrlK);
        QCOMPARE(layer.hotKeys().size(), size_t(1));
        QCOMPARE(m_grabber->grabs.size(), size_t(1));
        m_grabber->press(ctrlK.keyCode, ctrlK.modifiers());
        QCOMPARE(downs, 0);
    }
};

QTEST_MAIN(ShortcutStorageTest)
#include "tst_storage.moc"
