#pragma once

#include "core/maincoordinatorprotocol.h"
#include "service/textsservice.h"
#include "store/presetdata.h"
#include "store/presetstoreprotocol.h"
#include "store/userstore.h"

#include <QList>
#include <QStringList>

#include <memory>

/** Records generations; the test plays the service through the delegate it was given. */
struct TextsCalls {
    struct Call {
        QString token;
        std::optional<qint64> presetId;
        std::optional<QString> command;
        QString text;
        QList<RequestData> history;
    };
    QList<Call> calls;
    TextsServiceDelegate* delegate = nullptr;
    int cancels = 0;
};

class FakeTextsService final : public TextsServiceProtocol {
public:
    FakeTextsService(TextsCalls& calls, QString token)
        : m_calls(calls)
        , m_token(std::move(token)) {}
    void sendPreset(qint64 id, const QString& text, const QList<RequestData>& history,
                    TextsServiceDelegate* delegate) override {
        m_calls.calls.append({m_token, id, std::nullopt, text, history});
        m_calls.delegate = delegate;
    }
    void sendCommand(const QString& command, const QString& text, const QList<RequestData>& history,
                     TextsServiceDelegate* delegate) override {
        m_calls.calls.append({m_token, std::nullopt, command, text, history});
        m_calls.delegate = delegate;
    }
    void cancel() override { ++m_calls.cancels; }

private:
    TextsCalls& m_calls;
    QString m_token;
};

class FakeUserStore final : public UserStoreProtocol {
public:
    std::optional<User> signedIn;
    const std::optional<User>& user() const override { return signedIn; }
    bool isAuthorised() const override { return signedIn.has_value(); }
    void setUser(const std::optional<UserDto>&) override {}
};

class FakePresetStore final : public PresetStoreProtocol {
public:
    QList<PresetEntry> list;
    QList<PresetEntry> presets() const override { return list; }
    void fetchPresets() override {}
    void deletePreset(const PresetEntry&) override {}
    void createPreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void updatePreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void togglePreset(const PresetEntry&) override {}

    PresetEntry add(qint64 id, const QString& name, bool enabled = true,
                    const QString& hotkey = {}) {
        PresetDto record;
        record.id = id;
        record.name = name;
        record.hotkey = hotkey;
        list.append(std::make_shared<PresetData>(record, enabled));
        return list.last();
    }
};

/** Counts what the widget asked of the coordinator, in order. */
class FakeCoordinator final : public MainCoordinatorProtocol {
public:
    FakeUserStore userStore;
    FakePresetStore presetStore;
    QStringList calls;
    std::optional<RunningApp> previousApp;
    std::optional<RunningApp> hiddenActivating;

    UserStoreProtocol& getUserStore() override { return userStore; }
    PresetStoreProtocol& getPresetStore() override { return presetStore; }
    void loadPresets() override {}
    void syncUserData() override {}
    void showWidget() override { calls << QStringLiteral("show"); }
    void openSettings() override {}
    void openWidget(bool) override {}
    void hideWidget(const std::optional<RunningApp>& app) override {
        calls << QStringLiteral("hide");
        hiddenActivating = app;
    }
    void closeAuthorization() override {}
    void setAccessoryPolicy() override {}
    void setCanShowWidget(bool) override {}
    bool isDarkMode() const override { return false; }
    void toggleWidget() override { calls << QStringLiteral("toggle"); }
    void setPreviousApp(const std::optional<RunningApp>& app) override { previousApp = app; }
    void openHelpCenter() override {}
    void checkForUpdates() override {}
};
