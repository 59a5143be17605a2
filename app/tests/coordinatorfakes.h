#pragma once

#include "app/coordinatorservices.h"
#include "app/updater.h"
#include "app/windowsystem.h"
#include "fakeplatform.h"
#include "service/userserviceprotocol.h"
#include "store/presetstoreprotocol.h"

#include <QStringList>

#include <deque>
#include <map>

struct FakeWindow final : AppWindow {
    explicit FakeWindow(QRect initial)
        : frameRect(initial) {}
    void show() override {
        ++shows;
        visible = true;
    }
    void close() override { visible = false; }
    bool isVisible() const override { return visible; }
    QRect frame() const override { return frameRect; }
    void setFrame(const QRect& frame) override { frameRect = frame; }

    QRect frameRect;
    bool visible = false;
    int shows = 0;
};

struct FakeWindowSystem final : WindowSystemProtocol {
    std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind) override {
        auto window = std::make_unique<FakeWindow>(QRect(0, 0, 400, 300));
        created[kind] = window.get();
        return window;
    }
    std::optional<ScreenInfo> mainScreen() const override { return screen; }

    FakeWindow* get(AppConstants::Window kind) const {
        const auto it = created.find(kind);
        return it == created.end() ? nullptr : it->second;
    }
    bool isShowing(AppConstants::Window kind) const {
        const FakeWindow* w = get(kind);
        return w && w->visible;
    }

    std::map<AppConstants::Window, FakeWindow*> created;
    std::optional<ScreenInfo> screen = ScreenInfo{QStringLiteral("left"), QRect(0, 0, 1000, 800)};
};

struct FakeUpdater final : UpdaterProtocol {
    void setAutomaticallyChecksForUpdates(bool value) override { automatic = value; }
    void startUpdater() override { started = true; }
    void checkForUpdates() override {}
    bool automatic = false;
    bool started = false;
};

struct CountingPresetStore final : PresetStoreProtocol {
    QList<PresetEntry> presets() const override { return {}; }
    void fetchPresets() override { ++fetches; }
    void deletePreset(const PresetEntry&) override {}
    void createPreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void updatePreset(const PresetEntry&, PresetsStoreDelegate*) override {}
    void togglePreset(const PresetEntry&) override {}
    int fetches = 0;
};

/** Answers user fetches from a script (the last answer repeats) and logouts with one result. */
struct ScriptedServices final : CoordinatorServicesProtocol {
    using Answer = std::optional<UserError>; // nullopt: the user is fetched

    struct UserService final : UserServiceProtocol {
        UserService(ScriptedServices& owner, UserServiceDelegate& delegate)
            : owner(owner)
            , delegate(delegate) {}
        void fetchUser() override {
            ++owner.fetches;
            Answer answer = owner.answers.front();
            if (owner.answers.size() > 1)
                owner.answers.pop_front();
            if (answer)
                delegate.userFetchFailed(*answer);
            else
                delegate.userFetched(
                    UserDto{QStringLiteral("u@example.org"), 1, QStringLiteral("k")});
        }
        ScriptedServices& owner;
        UserServiceDelegate& delegate;
    };

    struct LogoutService final : LogoutServiceProtocol {
        explicit LogoutService(ScriptedServices& owner)
            : owner(owner) {}
        void logout(std::function<void(NetworkResult<bool>)> completion) override {
            ++owner.logouts;
            completion(owner.logoutSucceeds ? NetworkResult<bool>(true)
                                            : NetworkResult<bool>(NetworkError::unknown));
        }
        ScriptedServices& owner;
    };

    std::unique_ptr<UserServiceProtocol> makeUserService(const QString& token,
                                                         UserServiceDelegate& delegate) override {
        tokens << token;
        return std::make_unique<UserService>(*this, delegate);
    }
    std::unique_ptr<LogoutServiceProtocol> makeLogoutService(const QString&) override {
        return std::make_unique<LogoutService>(*this);
    }

    std::deque<Answer> answers{Answer(UserError::unauthorised)};
    QStringList tokens;
    int fetches = 0;
    int logouts = 0;
    bool logoutSucceeds = true;
};
