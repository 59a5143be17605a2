#include "core/settingsstore.h"
#include "fakeplatform.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "temporarysettings.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace Shortcuts;

namespace {

const Shortcut ctrlAltC{8, 0x900};
const Shortcut ctrlShiftX{7, 0x300};
const Shortcut ctrlK{40, 0x100};

} // namespace

/** Named storage, bindings and their grabs, over a fake system-wide grabber. */
class RegistryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettings> m_settings;
    std::unique_ptr<FakeHotkeyGrabber> m_grabber;
    std::unique_ptr<SystemHotkeys> m_layer;
    std::unique_ptr<Registry> m_registry;

    [[nodiscard]] int grabs(const Shortcut& shortcut) const {
        return int(std::count_if(m_grabber->grabs.cbegin(), m_grabber->grabs.cend(),
                                 [&shortcut](const auto& grab) {
                                     return grab.second.keyCode == shortcut.keyCode &&
                                            grab.second.flags == shortcut.modifiers();
                                 }));
    }
    void press(const Shortcut& shortcut, bool down = true) {
        m_grabber->press(int(shortcut.keyCode), shortcut.modifiers(), down);
    }

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<TemporarySettings>();
        m_grabber = std::make_unique<FakeHotkeyGrabber>();
        m_layer = std::make_unique<SystemHotkeys>(*m_grabber);
        m_registry = std::make_unique<Registry>(m_layer.get());
    }

    void cleanup() {
        m_registry.reset();
        m_layer.reset();
        m_grabber.reset();
        m_settings.reset();
    }

    void defaultsApplyOnlyWhenResetAndAClearedNameStaysCleared() {
        QSignalSpy changes(m_registry.get(), &Registry::changed);
        const Name toggle = Names::windowToggleHotkey();
        QVERIFY(!m_registry->shortcut(toggle)); // a name is a plain value
        m_registry->resetToDefaults({toggle});
        QCOMPARE(m_registry->shortcut(toggle), ctrlShiftX);
        QVERIFY(m_grabber->grabs.empty()); // stored, but nothing bound it

        m_registry->store(std::nullopt, toggle);
        QCOMPARE(openSettingsStore()->value(toggle.storageKey()).toString(), u"false"_s);
        QVERIFY(!m_registry->shortcut(Names::windowToggleHotkey()));
        m_registry->store(ctrlK, Names::tempShortcut());
        m_registry->store(std::nullopt, Names::tempShortcut());
        QVERIFY(!openSettingsStore()->contains(Names::tempShortcut().storageKey()));
        // Clearing what holds nothing is silent.
        m_registry->store(std::nullopt, toggle);
        m_registry->store(std::nullopt, Names::tempShortcut());
        QCOMPARE(changes.count(), 4);

        openSettingsStore()->setValue(u"Shortcuts_preset_hotkey_7"_s, u"{\"keyCode\":8}"_s);
        QVERIFY(!m_registry->shortcut(Names::presetHotkey(7)));
    }

    void aBindingGrabsFollowsItsStorageAndEndsWithItsOwner() {
        auto owner = std::make_unique<QObject>();
        const Name name = Names::presetHotkey(5);
        m_registry->store(ctrlK, name);
        m_registry->bind(name, owner.get());
        QCOMPARE(grabs(ctrlK), 1);

        m_registry->store(ctrlAltC, name);
        QCOMPARE(grabs(ctrlK), 0);
        QCOMPARE(grabs(ctrlAltC), 1);
        // Another name on the same keys shares the grab, and keeps it.
        QObject other;
        m_registry->store(ctrlAltC, Names::windowHotkey());
        m_registry->bind(Names::windowHotkey(), &other);
        QCOMPARE(grabs(ctrlAltC), 1);
        owner.reset();
        QCOMPARE(m_registry->boundNames(), QStringList{u"WindowHotkey"_s});
        QCOMPARE(grabs(ctrlAltC), 1);
        m_registry->unbind(u"WindowHotkey"_s);
        QVERIFY(m_grabber->grabs.empty());
        QCOMPARE(Names::presetId(u"preset_hotkey_5"_s), 5);
        QVERIFY(!Names::presetId(u"WindowHotkey"_s));
    }

    void aPressTriggersEachBoundNameOnceHoweverOftenItWasBound() {
        QObject owner;
        const Name first = Names::presetHotkey(1, ctrlK);
        const Name second = Names::presetHotkey(2, ctrlK);
        m_registry->resetToDefaults({first, second});
        for (int refresh = 0; refresh < 3; ++refresh) {
            m_registry->bind(first, &owner);
            m_registry->bind(second, &owner);
        }
        QSignalSpy triggered(m_registry.get(), &Registry::triggered);
        QSignalSpy released(m_registry.get(), &Registry::released);
        press(ctrlK);
        press(ctrlK, false);
        QCOMPARE(triggered.count(), 2);
        QCOMPARE(released.count(), 2);
        QStringList names{triggered.at(0).at(0).toString(), triggered.at(1).at(0).toString()};
        names.sort();
        QCOMPARE(names, (QStringList{u"preset_hotkey_1"_s, u"preset_hotkey_2"_s}));

        // While a recorder records, presses go to it alone.
        QSignalSpy paused(m_registry.get(), &Registry::pausedKeyPressed);
        m_registry->setDeliveryPaused(true);
        press(ctrlK);
        press(ctrlK, false);
        QCOMPARE(triggered.count(), 2);
        QCOMPARE(paused.count(), 1);
    }

    void aRefusedGrabIsRetriedWhenBoundAgain() {
        QObject owner;
        m_grabber->takenByOthers.append({int(ctrlAltC.keyCode), ctrlAltC.modifiers()});
        m_registry->store(ctrlAltC, Names::windowHotkey());
        m_registry->bind(Names::windowHotkey(), &owner);
        QCOMPARE(grabs(ctrlAltC), 0);
        m_grabber->takenByOthers.clear();
        m_registry->bind(Names::windowHotkey(), &owner);
        QCOMPARE(grabs(ctrlAltC), 1);
    }

    void layerIdentifiersAreNeverReusedAndRefusalsLeaveNoTrace() {
        SystemHotkeys& layer = *m_layer;
        const qint64 start = layer.lastIdentifier();
        int ups = 0;
        const auto up = [&ups](const Shortcut&) {
            ++ups;
        };
        QVERIFY(layer.registerShortcut(ctrlK, {}, up));
        QVERIFY(layer.registerShortcut(ctrlK, {}, up));
        m_grabber->takenByOthers.append({int(ctrlAltC.keyCode), ctrlAltC.modifiers()});
        QVERIFY(layer.isTaken(ctrlAltC));
        QVERIFY(!layer.registerShortcut(ctrlAltC, {}, up));
        QVERIFY(!layer.registerShortcut(Shortcut{-1, 0}, {}, up));
        QVERIFY(layer.registerShortcut(ctrlShiftX, {}, up));
        QCOMPARE(layer.lastIdentifier(), start + 5);
        QCOMPARE(layer.hotKeys().size(), size_t(3));

        press(ctrlK, false);
        QCOMPARE(ups, 2);
        layer.unregisterShortcut(ctrlK);
        QCOMPARE(m_grabber->grabs.size(), size_t(1));
    }
};

QTEST_MAIN(RegistryTest)
#include "tst_registry.moc"
