#include "app/maincoordinator.h"

#include "app/coordinatorservices.h"
#include "app/updater.h"
#include "core/appevents.h"
#include "core/logging.h"
#include "core/settingsstore.h"
#include "platform/permissionsmanager.h"
#include "platform/windowtracker.h"
#include "store/presetstoreprotocol.h"
#include "store/userstore.h"

#include <QPointer>

#include <cstdio>

using AppConstants::Window;

namespace {
const QString showMenuBarExtraKey = QStringLiteral("showMenuBarExtra");

const char* describe(UserError error) {
    switch (error) {
    case UserError::unauthorised:
        return "unauthorised";
    case UserError::generic:
        return "generic";
    case UserError::failedToConnect:
        return "failedToConnect";
    }
    return "unknown";
}
} // namespace

MainCoordinator::MainCoordinator(CoordinatorDependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_deps(dependencies) {
    m_deps.updater.setAutomaticallyChecksForUpdates(true);
    m_deps.updater.startUpdater();

    connect(&m_deps.events, &AppEvents::userLoggedOut, this, &MainCoordinator::logout);
    connect(&m_deps.events, &AppEvents::windowHotkeyChanged, this,
            &MainCoordinator::refreshStatusBarPresence);

    m_hotkeysTimer = m_deps.timers.createTimer();
    m_hotkeysTimer->start(hotkeysRefreshInterval, Timer::Mode::Repeating,
                          [this] { requestHotkeysUpdate(); });
}

MainCoordinator::~MainCoordinator() = default;

AppWindow* MainCoordinator::window(Window kind) const {
    const auto it = m_windows.find(kind);
    return it == m_windows.end() ? nullptr : it->second.get();
}

void MainCoordinator::createWindowIfAbsent(Window kind) {
    if (m_windows.contains(kind))
        return;
    // The widget needs a user to work for; without one there is nothing to build.
    if (kind == Window::mainGroupId && !m_deps.userStore.user())
        return;
    if (auto created = m_deps.windowSystem.createWindow(kind))
        m_windows.emplace(kind, std::move(created));
}

bool MainCoordinator::showWindow(Window kind) {
    AppWindow* target = window(kind);
    if (!target) {
        qCCritical(lcCoordinator, "Window %s does not exist",
                   qUtf8Printable(AppConstants::rawValue(kind)));
        return false;
    }
    if (kind == Window::mainGroupId) {
        // Centre on the screen the user works on, but only when it changed, so that a
        // widget the user dragged stays where it was put.
        const auto screen = m_deps.windowSystem.mainScreen();
        if (screen && screen != m_previousScreen) {
            QRect frame = target->frame();
            frame.moveTo(screen->geometry.x() + (screen->geometry.width() - frame.width()) / 2,
                         screen->geometry.y() + (screen->geometry.height() - frame.height()) / 2);
            target->setFrame(frame);
            m_previousScreen = screen;
        }
    }
    qCDebug(lcCoordinator, "Display %s window", qUtf8Printable(AppConstants::rawValue(kind)));
    target->show();
    return true;
}

void MainCoordinator::closeWindow(Window kind) {
    if (AppWindow* target = window(kind))
        target->close();
    else
        qCInfo(lcCoordinator, "Window %s does not exist",
               qUtf8Printable(AppConstants::rawValue(kind)));
}

void MainCoordinator::openWindow(Window kind) {
    createWindowIfAbsent(kind);
    showWindow(kind);
}

void MainCoordinator::showWidget() {
    createWindowIfAbsent(Window::mainGroupId);
    showWindow(Window::mainGroupId);
    m_widgetShown = true;
    refreshStatusBarPresence();
}

void MainCoordinator::prepareWidget() {
    createWindowIfAbsent(Window::mainGroupId);
    if (AppWindow* widget = window(Window::mainGroupId))
        widget->prepare();
}

void MainCoordinator::openWidget(bool checkOnly) {
    if (!m_userSynced) {
        if (m_connectionAttempts >= 1)
            openWindow(Window::noConnectionGroupId);
        return;
    }
    if (m_deps.userStore.isAuthorised() && m_deps.userStore.user() &&
        m_deps.permissions.isTrusted(true)) {
        if (m_canShowWidget)
            refreshStatusBarPresence();
        if (!checkOnly)
            showWidget();
        return;
    }
    openWindow(Window::authGroupId);
    m_canShowWidget = false;
}

void MainCoordinator::closeWidgetWindow() {
    closeWindow(Window::mainGroupId);
    if (!m_widgetShown)
        return;
    m_widgetShown = false;
    Q_EMIT m_deps.events.widgetHidden();
}

void MainCoordinator::hideWidget(const std::optional<RunningApp>& app) {
    closeWidgetWindow();
    if (app)
        m_deps.windowTracker.activate(*app);
}

void MainCoordinator::toggleWidget() {
    if (!m_widgetShown) {
        m_previousApp = m_deps.windowTracker.frontmostApp();
        showWidget();
        return;
    }
    hideWidget(m_previousApp);
}

void MainCoordinator::hideWidgetAction() {
    hideWidget(m_previousApp);
}

void MainCoordinator::openSettings() {
    closeWidgetWindow();
    openWindow(Window::settingsGroupId);
}

void MainCoordinator::openSettingsAction() {
    openSettings();
}

void MainCoordinator::finishSignIn() {
    closeWindow(Window::authGroupId);
    m_canShowWidget = true;
    showWidget();
}

void MainCoordinator::checkForUpdates() {
    m_deps.updater.checkForUpdates();
}

void MainCoordinator::requestHotkeysUpdate() {
    Q_EMIT m_deps.events.hotkeysRefreshRequested();
}

// --- Synchronisation of the stored user with the service -------------------------

void MainCoordinator::syncUserData(std::function<void()> then) {
    if (m_syncInFlight)
        return; // the answer still to come will act for this call too
    qCInfo(lcCoordinator, "Syncing user data...");
    m_syncInFlight = true;
    m_afterSync = std::move(then);
    const auto& user = m_deps.userStore.user();
    // Keep the previous service alive until here: its delegate call may be on the stack.
    m_userService = m_deps.services.makeUserService(user ? user->deviceKey : QString(), *this);
    m_userService->fetchUser();
}

void MainCoordinator::userFetched(const UserDto&) {
    m_userSynced = true;
    finishSync();
}

void MainCoordinator::userFetchFailed(UserError error) {
    switch (error) {
    case UserError::unauthorised:
        m_deps.userStore.setUser(std::nullopt);
        m_userSynced = true;
        break;
    case UserError::generic:
        writeToStandardOutput(QString::fromLatin1(describe(error)));
        m_userSynced = true;
        break;
    case UserError::failedToConnect:
        qCInfo(lcCoordinator, "Failed to connect, retrying...");
        break;
    }
    finishSync();
}

void MainCoordinator::finishSync() {
    m_syncInFlight = false;
    auto then = std::move(m_afterSync);
    m_afterSync = nullptr;
    if (m_userSynced) {
        createWindowIfAbsent(Window::mainGroupId);
        openWidget(true);
        loadPresets();
    } else if (m_connectionAttempts == 0 && !m_syncTimer) {
        m_syncTimer = m_deps.timers.createTimer();
        m_syncTimer->start(connectionAttemptsTimeout, Timer::Mode::Repeating,
                           [this] { startSyncRoutine(); });
    }
    if (then)
        then();
}

void MainCoordinator::startSyncRoutine() {
    if (m_syncInFlight)
        return; // a slow answer is still pending; this tick would only pile up
    ++m_connectionAttempts;
    syncUserData([this] {
        if (m_userSynced) {
            closeWindow(Window::noConnectionGroupId);
            m_syncTimer->stop();
        } else if (m_connectionAttempts == connectionAttemptsWindowShow) {
            openWindow(Window::noConnectionGroupId);
        }
    });
}

void MainCoordinator::loadPresets() {
    if (!m_deps.userStore.isAuthorised())
        return;
    m_deps.presetStore.fetchPresets();
}

// --- Logout -------------------------------------------------------------------

void MainCoordinator::logout() {
    const auto& user = m_deps.userStore.user();
    if (!user)
        return;
    m_logoutClient = m_deps.services.makeLogoutService(user->deviceKey);
    QPointer<MainCoordinator> self(this);
    m_logoutClient->logout([self](NetworkResult<bool> result) {
        if (!self || !self->m_logoutClient || !result.ok())
            return; // the user stays signed in locally
        self->finishLogout();
    });
}

void MainCoordinator::finishLogout() {
    // The prompt store empties itself as the user goes.
    m_deps.userStore.setUser(std::nullopt);
    closeWidgetWindow();
    closeWindow(Window::settingsGroupId);
    openWindow(Window::authGroupId);
    setShowMenuBarExtra(false);
    m_canShowWidget = false;
}

// --- Status-bar presence --------------------------------------------------------

bool MainCoordinator::showMenuBarExtra() const {
    return openSettingsStore()->value(showMenuBarExtraKey, false).toBool();
}

void MainCoordinator::setShowMenuBarExtra(bool value) {
    auto store = openSettingsStore();
    store->setValue(showMenuBarExtraKey, value);
    store->sync();
    Q_EMIT showMenuBarExtraChanged();
}

void MainCoordinator::refreshStatusBarPresence() {
    if (m_deps.userStore.isAuthorised())
        setShowMenuBarExtra(true);
}
