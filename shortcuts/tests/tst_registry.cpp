#include "core/settingsstore.h"
#include "fakeplatform.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "temporarysettings.h"

#include <QSignalSpy>
#include <QTest>

using namespace Shortcuts;

namespace {
const Shortcut ctrlAltC{8, 0x900};
const Shortcut ctrlK{40, 0x100};
} // namespace

/** Named storage, bindings and their grabs, over a fake system-wide grabber. */
class RegistryTest : public QObject {
    Q_OBJECT

    TemporarySettings m_settings;
    FakeHotkeyGrabber m_grabber;
    SystemHotkeys m_layer{m_grabber};

    [[nodiscard]] qsizetype grabs(const Shortcut& s) const {
        return std::count_if(m_grabber.grabs.cbegin(), m_grabber.grabs.cend(), [&s](const auto& g) {
            return g.second.keyCode == s.keyCode && g.second.flags == s.modifiers();
        });
    }
    void press(const Shortcut& s, bool down = true) {
        m_grabber.press(int(s.keyCode), s.modifiers(), down);
    }

private Q_SLOTS:
    void init() { m_settings.clear(); }

    void defaultsApplyWhenResetAndAClearedNameStaysCleared() {
        Registry registry(&m_layer);
        QSignalSpy changes(&registry, &Registry::changed);
        const Name toggle = Names::windowToggleHotkey();
        registry.resetToDefaults({toggle});
        QCOMPARE(registry.shortcut(toggle), (Shortcut{7, 0x300}));
        registry.store(std::nullopt, toggle);
        QCOMPARE(openSettingsStore()->value(toggle.storageKey()).toString(),
                 QStringLiteral("false"));
        registry.store(std::nullopt, toggle); // clearing what holds nothing is silent
        QCOMPARE(changes.count(), 2);
        QVERIFY(m_grabber.grabs.empty()); // stored, but nothing bound it
    }

    void bindingsGrabFollowStorageEndWithTheirOwnerAndTriggerOnce() {
        Registry registry(&m_layer);
        auto owner = std::make_unique<QObject>();
        QObject other;
        const Name prompt = Names::presetHotkey(5, ctrlK);
        registry.resetToDefaults({prompt, Names::windowHotkey(ctrlK)});
        for (int refresh = 0; refresh < 3; ++refresh)
            registry.bind(prompt, owner.get());
        registry.bind(Names::windowHotkey(), &other);
        QCOMPARE(grabs(ctrlK), 1); // two names share one grab
        QSignalSpy triggered(&registry, &Registry::triggered);
        press(ctrlK);
        QCOMPARE(triggered.count(), 2); // once per name, however often it was bound

        registry.store(ctrlAltC, prompt);
        QCOMPARE(grabs(ctrlAltC), 1);
        owner.reset();
        QCOMPARE(grabs(ctrlAltC), 0);
        QCOMPARE(registry.boundNames(), QStringList{QStringLiteral("WindowHotkey")});

        // While a recorder records, presses go to it alone.
        QSignalSpy paused(&registry, &Registry::pausedKeyPressed);
        registry.setDeliveryPaused(true);
        press(ctrlK);
        QCOMPARE(triggered.count(), 2);
        QCOMPARE(paused.count(), 1);

        // A refused grab is asked again when the name is bound again.
        m_grabber.takenByOthers.append({int(ctrlAltC.keyCode), ctrlAltC.modifiers()});
        registry.store(ctrlAltC, Names::windowHotkey());
        QCOMPARE(grabs(ctrlAltC), 0);
        m_grabber.takenByOthers.clear();
        registry.bind(Names::windowHotkey(), &other);
        QCOMPARE(grabs(ctrlAltC), 1);
    }
};

QTEST_MAIN(RegistryTest)
#include "tst_registry.moc"
