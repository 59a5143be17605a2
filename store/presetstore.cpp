#include "store/presetstore.h"

#include "service/presetsservice.h"
#include "store/userstore.h"

#include <QPointer>

namespace {

/**
 * A delegate as a completion may call it later: a delegate that is a QObject is
 * dropped once it is destroyed, so a closed editor never hears a late answer.
 */
class DelegateRef {
public:
    explicit DelegateRef(PresetsStoreDelegate* delegate)
        : m_delegate(delegate)
        , m_object(dynamic_cast<QObject*>(delegate))
        , m_tracked(m_object != nullptr) {}
    [[nodiscard]] PresetsStoreDelegate* get() const {
        return m_tracked && m_object.isNull() ? nullptr : m_delegate;
    }

private:
    PresetsStoreDelegate* m_delegate;
    QPointer<QObject> m_object;
    bool m_tracked;
};

} // namespace

PresetStore::PresetStore(UserStoreProtocol& session, ClientFactory makeClient, QObject* parent)
    : PresetStoreProtocol(parent)
    , m_session(session)
    , m_makeClient(std::move(makeClient))
    , m_deviceKey(session.deviceKey())
    , m_client(m_makeClient(m_deviceKey)) {
    connect(&m_session, &UserStoreProtocol::changed, this, &PresetStore::sessionChanged);
}

PresetStore::~PresetStore() = default;

void PresetStore::sessionChanged() {
    if (m_session.deviceKey() == m_deviceKey)
        return;
    // A new client: completions still pending hold the old one and find a replaced store
    // guard below, so nothing of the previous user lands in this list.
    m_deviceKey = m_session.deviceKey();
    m_client = m_makeClient(m_deviceKey);
    ++m_generation;
    if (!m_presets.isEmpty()) {
        m_presets.clear();
        Q_EMIT changed();
    }
}

void PresetStore::fetchPresets() {
    QPointer<PresetStore> self(this);
    m_client->presets([self, generation = m_generation](const QList<PresetDto>& records) {
        if (!self || self->m_generation != generation)
            return;
        // An empty stored list means the user never chose: each prompt's default applies.
        const QList<qint64> stored = self->m_settings.presetsSettings().presetIds;
        QList<PresetEntry> list;
        for (const PresetDto& record : records) {
            const bool enabled =
                stored.isEmpty() ? record.enabledByDefault : stored.contains(record.id);
            list.append(std::make_shared<PresetData>(record, enabled));
        }
        self->m_presets = list;
        Q_EMIT self->changed();
    });
}

void PresetStore::setPresets(QList<PresetEntry> list) {
    m_presets = std::move(list);
    PresetsSettings enabled;
    for (const PresetEntry& entry : std::as_const(m_presets)) {
        if (entry->enabled)
            enabled.presetIds.append(entry->id);
    }
    m_settings.setPresetsSettings(enabled);
}

void PresetStore::createPreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) {
    QPointer<PresetStore> self(this);
    m_client->create(entry->preset, [self, generation = m_generation,
                                     delegate = DelegateRef(delegate)](const PresetDto& stored) {
        if (!self || self->m_generation != generation)
            return;
        auto created = std::make_shared<PresetData>(stored, true);
        QList<PresetEntry> list = self->m_presets;
        list.append(created);
        self->setPresets(list);
        if (PresetsStoreDelegate* d = delegate.get())
            d->didCreatePreset(created);
        Q_EMIT self->changed();
    });
}

void PresetStore::updatePreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) {
    QPointer<PresetStore> self(this);
    m_client->update(entry->preset, [self, generation = m_generation,
                                     delegate = DelegateRef(delegate)](const PresetDto& stored) {
        if (!self || self->m_generation != generation)
            return;
        QList<PresetEntry> list = self->m_presets;
        const auto it = std::find_if(list.begin(), list.end(),
                                     [&](const PresetEntry& e) { return e->id == stored.id; });
        if (it == list.end())
            return; // gone meanwhile, or the update failed (id -1)
        // An edit keeps the user's choice; without a stored choice it ends up disabled.
        const bool enabled = self->m_settings.presetsSettings().presetIds.contains(stored.id);
        auto updated = std::make_shared<PresetData>(stored, enabled);
        *it = updated;
        self->setPresets(list);
        if (PresetsStoreDelegate* d = delegate.get())
            d->didUpdatePreset(updated);
        Q_EMIT self->changed();
    });
}

void PresetStore::deletePreset(const PresetEntry& entry) {
    if (entry->preset.global)
        return;
    // Applied locally at once; a refusal shows up at the next load.
    m_client->deletePreset(entry->id, [](bool) {});
    QList<PresetEntry> list = m_presets;
    list.removeIf([&](const PresetEntry& e) { return *e == *entry; });
    setPresets(list);
    Q_EMIT changed();
}

void PresetStore::togglePreset(const PresetEntry& entry) {
    entry->enabled = !entry->enabled;
    QList<PresetEntry> list = m_presets;
    const auto it = std::find_if(list.begin(), list.end(), [&](const PresetEntry& e) {
        return e->preset.id == entry->preset.id;
    });
    if (it != list.end()) {
        *it = entry;
        setPresets(list);
    }
    Q_EMIT changed();
}
