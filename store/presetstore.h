#pragma once

#include "core/log.h"
#include "store/appsettings.h"
#include "store/presetdata.h"
#include "store/presetstoreprotocol.h"

#include <QObject>

class MainCoordinatorProtocol;
class PresetsServiceProtocol;

/** Hears when the store has applied a creation or an update. */
class PresetsStoreDelegate {
public:
    virtual ~PresetsStoreDelegate() = default;
    virtual void didCreatePreset(const PresetEntry& entry) = 0;
    virtual void didUpdatePreset(const PresetEntry& entry) = 0;
};

/**
 * The signed-in user's prompts, kept in step with the service. Service results are
 * applied on the main thread, so the list never changes under a reader's feet; a
 * store that was replaced drops results that arrive late.
 */
class PresetStore final : public QObject, public PresetStoreProtocol {
    Q_OBJECT

public:
    /** Talks to the service with the signed-in user's device key. */
    explicit PresetStore(MainCoordinatorProtocol& coordinator);
    PresetStore(MainCoordinatorProtocol& coordinator,
                std::unique_ptr<PresetsServiceProtocol> client);
    ~PresetStore() override;

    QList<PresetEntry> presets() const override { return m_presets; }
    void fetchPresets() override;
    void deletePreset(const PresetEntry& entry) override;
    void createPreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) override;
    void updatePreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) override;
    void togglePreset(const PresetEntry& entry) override;

    /** Replaces the list and persists the enabled identifiers. */
    void setPresets(QList<PresetEntry> list);

private:
    QList<PresetEntry> m_presets;
    MainCoordinatorProtocol& m_coordinator;
    std::unique_ptr<PresetsServiceProtocol> m_client;
    AppSettings m_settings;
    Log m_logger{"application"};
};
