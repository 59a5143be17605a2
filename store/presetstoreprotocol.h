#pragma once

#include <QList>

#include <memory>

class PresetData;
class PresetsStoreDelegate; // store/presetstore.h

/** Shared prompt entries: the store and its readers hold the same objects. */
using PresetEntry = std::shared_ptr<PresetData>;

/**
 * The signed-in user's prompts in service order, each enabled or not. Observers
 * re-read presets() from the coordinator's current store after "PromptsUpdated".
 */
class PresetStoreProtocol {
public:
    virtual ~PresetStoreProtocol() = default;

    [[nodiscard]] virtual QList<PresetEntry> presets() const = 0;
    virtual void fetchPresets() = 0;
    virtual void deletePreset(const PresetEntry& entry) = 0;
    virtual void createPreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) = 0;
    virtual void updatePreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) = 0;
    virtual void togglePreset(const PresetEntry& entry) = 0;
};

/** The store before sign-in and after logout: no prompts, every operation a no-op. */
class EmptyPresetStore final : public PresetStoreProtocol {
public:
    QList<PresetEntry> presets() const override { return {}; }
    void fetchPresets() override {}
    void deletePreset(const PresetEntry&) override {}
    void createPreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void updatePreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void togglePreset(const PresetEntry&) override {}
};
