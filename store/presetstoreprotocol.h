#pragma once

#include <QList>
#include <QObject>

#include <memory>

class PresetData;
class PresetsStoreDelegate; // store/presetstore.h

/** Shared prompt entries: the store and its readers hold the same objects. */
using PresetEntry = std::shared_ptr<PresetData>;

/**
 * The signed-in user's prompts in service order, each enabled or not. One store lives
 * for the whole run: it empties when the user changes, and readers re-read presets()
 * after changed().
 */
class PresetStoreProtocol : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual QList<PresetEntry> presets() const = 0;
    virtual void fetchPresets() = 0;
    virtual void deletePreset(const PresetEntry& entry) = 0;
    virtual void createPreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) = 0;
    virtual void updatePreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) = 0;
    virtual void togglePreset(const PresetEntry& entry) = 0;

Q_SIGNALS:
    /** The list, or an entry's enabled state, changed. */
    void changed();
};
