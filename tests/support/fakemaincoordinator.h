#pragma once

#include "core/signinhost.h"
#include "core/widgetpresenter.h"
#include "platform/appearance.h"
#include "service/userdto.h"
#include "store/presetdata.h"
#include "store/presetstore.h"
#include "store/presetstoreprotocol.h"
#include "store/userstore.h"

#include <QStringList>

/** A user store in memory: a user with a device key is authorised. */
class FakeUserStore final : public UserStoreProtocol {
public:
    std::optional<User> signedIn;

    const std::optional<User>& user() const override { return signedIn; }
    bool isAuthorised() const override { return signedIn.has_value(); }
    void setUser(const std::optional<UserDto>& record) override {
        if (record && record->deviceKey)
            signedIn = User{record->email, record->userId, *record->deviceKey};
        else
            signedIn.reset();
        Q_EMIT changed();
    }
};

/** Prompts in memory; the test gives the service's answers to creates and updates. */
class FakePresetStore final : public PresetStoreProtocol {
public:
    QList<PresetEntry> entries;
    QList<std::pair<PresetEntry, PresetsStoreDelegate*>> pendingCreates;
    QList<std::pair<PresetEntry, PresetsStoreDelegate*>> pendingUpdates;
    qint64 nextId = 100;

    QList<PresetEntry> presets() const override { return entries; }
    void fetchPresets() override {}
    void deletePreset(const PresetEntry& entry) override {
        entries.removeIf([&](const PresetEntry& e) { return e->id == entry->id; });
        Q_EMIT changed();
    }
    void createPreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) override {
        pendingCreates.append({entry, delegate});
    }
    void updatePreset(const PresetEntry& entry, PresetsStoreDelegate* delegate) override {
        pendingUpdates.append({entry, delegate});
    }
    void togglePreset(const PresetEntry& entry) override {
        entry->enabled = !entry->enabled;
        Q_EMIT changed();
    }

    /** The service stores the oldest pending create under a new id. */
    void answerCreate() {
        auto [entry, delegate] = pendingCreates.takeFirst();
        PresetDto stored = entry->preset;
        stored.id = nextId++;
        auto created = std::make_shared<PresetData>(stored, true);
        entries.append(created);
        delegate->didCreatePreset(created);
        Q_EMIT changed();
    }
    void answerUpdate() {
        auto [entry, delegate] = pendingUpdates.takeFirst();
        auto updated = std::make_shared<PresetData>(entry->preset, true);
        for (PresetEntry& e : entries) {
            if (e->id == updated->id)
                e = updated;
        }
        delegate->didUpdatePreset(updated);
        Q_EMIT changed();
    }

    static PresetEntry entry(qint64 id, const QString& name, bool global,
                             const QString& hotkey = {}, bool enabled = true) {
        PresetDto preset;
        preset.id = id;
        preset.name = name;
        preset.global = global;
        preset.hotkey = hotkey;
        preset.userMessage = name + QStringLiteral(" message");
        preset.temperature = 0.5;
        return std::make_shared<PresetData>(preset, enabled);
    }
    /** Appends a standard prompt. */
    PresetEntry add(qint64 id, const QString& name, bool enabled = true,
                    const QString& hotkey = {}) {
        entries.append(entry(id, name, true, hotkey, enabled));
        return entries.last();
    }
};

struct FixedAppearance final : AppearanceProtocol {
    bool dark = false;
    bool isDark() const override { return dark; }
};

/** Records what the view models ask of the application, in order. */
class FakeCoordinator final : public WidgetPresenter, public SignInHost {
public:
    FakeUserStore userStore;
    FakePresetStore presetStore;
    FixedAppearance appearance;
    QStringList calls;
    std::optional<RunningApp> previousApp;

    void loadPresets() override { calls << QStringLiteral("loadPresets"); }
    void openSettings() override { calls << QStringLiteral("openSettings"); }
    void finishSignIn() override { calls << QStringLiteral("finishSignIn"); }
    void showWidget() override { calls << QStringLiteral("showWidget"); }
    void hideWidget(const std::optional<RunningApp>&) override {
        calls << QStringLiteral("hideWidget");
    }
    void toggleWidget() override { calls << QStringLiteral("toggleWidget"); }
    void setPreviousApp(const std::optional<RunningApp>& app) override { previousApp = app; }
};
