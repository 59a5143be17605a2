#pragma once

#include "core/runningapp.h"

#include <optional>

class UserStoreProtocol;
class PresetStoreProtocol;

/**
 * The coordinator as every view model sees it: the one way to reach windows, the
 * signed-in user and the current prompts.
 */
class MainCoordinatorProtocol {
public:
    virtual ~MainCoordinatorProtocol() = default;

    [[nodiscard]] virtual UserStoreProtocol& getUserStore() = 0;
    /** The current preset store; it is replaced at sign-in and logout, so ask each time. */
    [[nodiscard]] virtual PresetStoreProtocol& getPresetStore() = 0;
    /** Builds a working preset store for the signed-in user and fetches the prompts. */
    virtual void loadPresets() = 0;
    /** One synchronisation of the stored user with the service. */
    virtual void syncUserData() = 0;
    virtual void showWidget() = 0;
    virtual void openSettings() = 0;
    /** Shows the widget when signed in and trusted, otherwise the sign-in window. */
    virtual void openWidget(bool checkOnly) = 0;
    /** Hides the widget; activates app when one is given. */
    virtual void hideWidget(const std::optional<RunningApp>& app) = 0;
    virtual void closeAuthorization() = 0;
    virtual void setAccessoryPolicy() = 0;
    virtual void setCanShowWidget(bool value) = 0;
    [[nodiscard]] virtual bool isDarkMode() const = 0;
    virtual void toggleWidget() = 0;
    virtual void setPreviousApp(const std::optional<RunningApp>& app) = 0;
    virtual void openHelpCenter() = 0;
    virtual void checkForUpdates() = 0;
};
