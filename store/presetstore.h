#pragma once

#include "store/appsettings.h"
#include "store/presetdata.h"
#include "store/presetstoreprotocol.h"

#include <functional>
#include <memory>

class PresetsServiceProtocol;
class UserStoreProtocol;

/** Hears when the store has applied a creation or an update. */
class PresetsStoreDelegate {
public:
    virtual ~PresetsStoreDelegate() = default;
    virtual void didCreatePreset(const PresetEntry& entry) = 0;
    virtual void didUpdatePreset(const PresetEntry& entry) = 0;
};

/**
 * The signed-in user's prompts, kept in step with the service. Service results are
 * applied on the main thread, so the list never changes under a reader's feet. When
 * the user changes the list empties, and answers meant for the previous user are
 * dropped.
 */
class PresetStore final : public PresetStoreProtocol {
    Q_OBJECT

public:
    /** Makes the client that talks to the service with a device key. */
    using ClientFactory =
        std::function<std::unique_ptr<PresetsServiceProtocol>(const QString& deviceKey)>;

    explicit PresetStore(UserStoreProtocol& session, ClientFactory makeClient,
                         QObject* parent = nullptr);
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
    void sessionChanged();

    QList<PresetEntry> m_presets;
    UserStoreProtocol& m_session;
    ClientFactory m_makeClient;
    QString m_deviceKey;
    std::unique_ptr<PresetsServiceProtocol> m_client;
    /** Counts user changes; completions started under an earlier one are dropped. */
    quint64 m_generation = 0;
    AppSettings m_settings;
};
