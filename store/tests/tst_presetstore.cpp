#include "core/settingsstore.h"
#include "fakemaincoordinator.h"
#include "service/presetsservice.h"
#include "store/appsettings.h"
#include "store/presetstore.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

PresetDto record(qint64 id, bool enabledByDefault, bool global = false) {
    PresetDto dto;
    dto.id = id;
    dto.name = u"Prompt %1"_s.arg(id);
    dto.enabledByDefault = enabledByDefault;
    dto.global = global;
    return dto;
}

/** Answers at once from what the test put in; records what was asked. */
struct ScriptedPresetsService final : PresetsServiceProtocol {
    void presets(std::function<void(QList<PresetDto>)> completion) override {
        if (holdInto)
            *holdInto << [completion, list = list] {
                completion(list);
            };
        else
            completion(list);
    }
    void create(const PresetDto&, std::function<void(PresetDto)> completion) override {
        completion(createAnswer);
    }
    void update(const PresetDto& preset, std::function<void(PresetDto)> completion) override {
        completion(preset);
    }
    void deletePreset(qint64 id, std::function<void(bool)> completion) override {
        deleted << id;
        completion(true);
    }

    QList<PresetDto> list;
    /** Where answers wait instead of arriving at once; they may outlive this client. */
    QList<std::function<void()>>* holdInto = nullptr;
    PresetDto createAnswer = PresetDto::blank();
    QList<qint64> deleted;
};

struct RecordingDelegate final : PresetsStoreDelegate {
    void didCreatePreset(const PresetEntry& entry) override { createdIds << entry->id; }
    void didUpdatePreset(const PresetEntry& entry) override { updatedIds << entry->id; }
    QList<qint64> createdIds;
    QList<qint64> updatedIds;
};

QList<qint64> enabledIds(const PresetStore& store) {
    QList<qint64> ids;
    for (const PresetEntry& e : store.presets()) {
        if (e->enabled)
            ids << e->id;
    }
    return ids;
}

} // namespace

class PresetStoreTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporarySettings> m_settings;
    FakeUserStore m_session;
    ScriptedPresetsService* m_service = nullptr;
    QStringList m_clientKeys;
    int m_updates = 0;

    std::unique_ptr<PresetStore> makeStore(QList<PresetDto> list) {
        auto store = std::make_unique<PresetStore>(m_session, [this, list](const QString& key) {
            m_clientKeys << key;
            auto service = std::make_unique<ScriptedPresetsService>();
            service->list = list;
            m_service = service.get();
            return service;
        });
        connect(store.get(), &PresetStore::changed, this, [this] { ++m_updates; });
        return store;
    }
    static QList<qint64> storedIds() { return AppSettings().presetsSettings().presetIds; }
    static bool hasStoredIds() { return openSettingsStore()->contains(u"PresetsEnabledIds"_s); }

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<TemporarySettings>();
        m_session.signedIn = User{u"a@example.org"_s, 1, u"key-a"_s};
        m_clientKeys.clear();
        m_updates = 0;
    }

    // Enabled are the stored choice, else each prompt's default; loading writes nothing.
    void loadChoosesTheEnabledPrompts_data() {
        QTest::addColumn<QList<qint64>>("stored");
        QTest::addColumn<QList<qint64>>("enabled");
        QTest::newRow("defaults") << QList<qint64>{} << QList<qint64>{1, 3};
        QTest::newRow("stored") << QList<qint64>{2, 99} << QList<qint64>{2};
    }
    void loadChoosesTheEnabledPrompts() {
        QFETCH(QList<qint64>, stored);
        QFETCH(QList<qint64>, enabled);
        if (!stored.isEmpty())
            AppSettings().setPresetsSettings({stored});
        auto store = makeStore({record(1, true), record(2, false), record(3, true)});
        store->fetchPresets();
        QCOMPARE(enabledIds(*store), enabled);
        QCOMPARE(m_updates, 1);
        QCOMPARE(hasStoredIds(), !stored.isEmpty());
    }

    void togglingTheLastEnabledOffWritesAnEmptyList() {
        auto store = makeStore({record(1, true), record(2, false)});
        store->fetchPresets();
        const PresetEntry first = store->presets().first();
        store->togglePreset(first);
        QVERIFY(!first->enabled); // the shared entry itself changed
        QVERIFY(hasStoredIds());
        QVERIFY(storedIds().isEmpty());
        QCOMPARE(m_updates, 2);

        auto restarted = makeStore({record(1, true), record(2, false)});
        restarted->fetchPresets();
        QCOMPARE(enabledIds(*restarted), QList<qint64>{1}); // back to the defaults
    }

    void failedCreateLeavesABlankEntryAtTheEnd() {
        auto store = makeStore({record(1, false)});
        store->fetchPresets();
        RecordingDelegate delegate;
        store->createPreset(std::make_shared<PresetData>(record(0, false), true), &delegate);
        QCOMPARE(store->presets().size(), 2);
        const PresetEntry last = store->presets().last();
        QCOMPARE(last->id, -1);
        QVERIFY(last->preset.name.isEmpty());
        QVERIFY(last->enabled);
        QCOMPARE(storedIds(), QList<qint64>{-1});
        QCOMPARE(delegate.createdIds, QList<qint64>{-1});
    }

    void updateKeepsTheStoredChoice() {
        auto store = makeStore({record(1, true), record(2, true)});
        store->fetchPresets();
        RecordingDelegate delegate;
        PresetDto edited = record(2, true);
        edited.name = u"Renamed"_s;
        store->updatePreset(std::make_shared<PresetData>(edited, true), &delegate);
        QCOMPARE(store->presets().at(1)->preset.name, u"Renamed"_s);
        QVERIFY(!store->presets().at(1)->enabled); // nothing stored: disabled
        QCOMPARE(delegate.updatedIds, QList<qint64>{2});
    }

    void deletingRemovesUserPromptsOnly() {
        auto store = makeStore({record(1, true, true), record(2, true)});
        store->fetchPresets();
        const int before = m_updates;
        store->deletePreset(store->presets().at(0));
        QCOMPARE(store->presets().size(), 2);
        QCOMPARE(m_updates, before);
        QVERIFY(m_service->deleted.isEmpty());
        QVERIFY(!hasStoredIds());

        store->deletePreset(store->presets().at(1));
        QCOMPARE(store->presets().size(), 1);
        QCOMPARE(m_service->deleted, QList<qint64>{2});
        QCOMPARE(storedIds(), QList<qint64>{1});
    }

    void anotherUserNeverSeesThePreviousUsersPrompts() {
        auto store = makeStore({record(1, true)});
        store->fetchPresets();
        QList<std::function<void()>> late;
        m_service->holdInto = &late;
        store->fetchPresets(); // answered only after the user changed

        m_session.setUser(std::nullopt);
        QVERIFY(store->presets().isEmpty());
        QCOMPARE(m_updates, 2);
        late.takeFirst()();
        QVERIFY(store->presets().isEmpty());

        m_session.setUser(UserDto{u"b@example.org"_s, 2, u"key-b"_s});
        store->fetchPresets();
        QCOMPARE(store->presets().size(), 1);
        QCOMPARE(m_clientKeys, (QStringList{u"key-a"_s, QString(), u"key-b"_s}));
    }
};

QTEST_GUILESS_MAIN(PresetStoreTest)
#include "tst_presetstore.moc"
