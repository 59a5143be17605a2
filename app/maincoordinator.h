#pragma once

#include "app/windowsystem.h"
#include "core/signinhost.h"
#include "core/timer.h"
#include "core/widgetpresenter.h"
#include "service/userserviceprotocol.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>

class AppEvents;
class CoordinatorServicesProtocol;
class PermissionsManagerProtocol;
class PresetStoreProtocol;
class UpdaterProtocol;
class UserStoreProtocol;
class WindowTrackerProtocol;

/** Everything the coordinator reaches outside itself, chosen by the application. */
struct CoordinatorDependencies {
    WindowSystemProtocol& windowSystem;
    WindowTrackerProtocol& windowTracker;
    PermissionsManagerProtocol& permissions;
    CoordinatorServicesProtocol& services;
    UpdaterProtocol& updater;
    TimerSource& timers;
    AppEvents& events;
    UserStoreProtocol& userStore;
    PresetStoreProtocol& presetStore;
};

/**
 * Owns the windows and the start-up synchronisation; decides at every entry point
 * between the widget and the sign-in window.
 */
class MainCoordinator final : public QObject,
                              public WidgetPresenter,
                              public SignInHost,
                              private UserServiceDelegate {
    Q_OBJECT
    Q_PROPERTY(bool showMenuBarExtra READ showMenuBarExtra NOTIFY showMenuBarExtraChanged)

public:
    static constexpr int connectionAttemptsWindowShow = 15;
    static constexpr std::chrono::seconds connectionAttemptsTimeout{2};
    static constexpr std::chrono::seconds hotkeysRefreshInterval{3600};

    explicit MainCoordinator(CoordinatorDependencies dependencies, QObject* parent = nullptr);
    ~MainCoordinator() override;

    // WidgetPresenter
    void showWidget() override;
    void prepareWidget() override;
    void hideWidget(const std::optional<RunningApp>& app) override;
    void toggleWidget() override;
    void setPreviousApp(const std::optional<RunningApp>& app) override { m_previousApp = app; }
    [[nodiscard]] UserStoreProtocol& getUserStore() { return m_deps.userStore; }
    [[nodiscard]] PresetStoreProtocol& getPresetStore() { return m_deps.presetStore; }

    // SignInHost
    void loadPresets() override;
    void openSettings() override;
    void finishSignIn() override;

    /** Shows the widget when signed in and trusted, otherwise the sign-in window. */
    void openWidget(bool checkOnly);
    void openHelpCenter() { openWindow(AppConstants::Window::helpCenterGroupId); }
    void checkForUpdates();

    /** One synchronisation; then runs after the answer has been acted on. */
    void syncUserData(std::function<void()> then = {});

    // Menu and timer actions.
    void openWidgetAction() { openWidget(false); }
    void hideWidgetAction();
    void openSettingsAction();
    void startSyncRoutine();
    void requestHotkeysUpdate();
    void logout();

    [[nodiscard]] bool widgetShown() const { return m_widgetShown; }
    [[nodiscard]] bool showMenuBarExtra() const;
    [[nodiscard]] AppWindow* window(AppConstants::Window kind) const;

Q_SIGNALS:
    void showMenuBarExtraChanged();

private:
    void userFetched(const UserDto& user) override;
    void userFetchFailed(UserError error) override;
    void finishSync();

    void createWindowIfAbsent(AppConstants::Window kind);
    bool showWindow(AppConstants::Window kind);
    void closeWindow(AppConstants::Window kind);
    void openWindow(AppConstants::Window kind);
    void setShowMenuBarExtra(bool value);
    void refreshStatusBarPresence();
    void finishLogout();

    /** Hides the widget window and tells whoever listens, once. */
    void closeWidgetWindow();

    CoordinatorDependencies m_deps;
    std::map<AppConstants::Window, std::unique_ptr<AppWindow>> m_windows;
    std::unique_ptr<LogoutServiceProtocol> m_logoutClient;
    std::unique_ptr<Timer> m_hotkeysTimer;
    std::unique_ptr<Timer> m_syncTimer;
    std::unique_ptr<UserServiceProtocol> m_userService;
    std::function<void()> m_afterSync;
    bool m_syncInFlight = false;
    bool m_canShowWidget = true;
    bool m_widgetShown = false;
    bool m_userSynced = false;
    int m_connectionAttempts = 0;
    std::optional<RunningApp> m_previousApp;
    std::optional<ScreenInfo> m_previousScreen;
};
