#include "app/maincoordinator.h"
#include "coordinatorfakes.h"
#include "core/appevents.h"
#include "core/settingsstore.h"
#include "manualtimer.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QtTest>

using namespace Qt::StringLiterals;

using AppConstants::Window;
using namespace std::chrono_literals;
using Policy = MainCoordinator::ActivationPolicy;

class CoordinatorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemporarySettings> m_settings;
    FakeWindowSystem m_windows;
    FakeWindowTracker m_tracker;
    FakePermissionsManager m_permissions;
    ScriptedServices m_services;
    FakeUpdater m_updater;
    ManualTimerSource m_timers;
    AppEvents m_events;
    std::unique_ptr<UserStore> m_userStore;
    std::unique_ptr<CountingPresetStore> m_presets;

    void signIn(const QString& deviceKey = u"stored-key"_s) {
        UserStore().setUser(UserDto{u"u@example.org"_s, 1, deviceKey});
    }

    std::unique_ptr<MainCoordinator> makeCoordinator() {
        // The store reads the persisted user when it is made, as at start-up.
        m_userStore = std::make_unique<UserStore>();
        m_presets = std::make_unique<CountingPresetStore>();
        return std::make_unique<MainCoordinator>(
            CoordinatorDependencies{m_windows, m_tracker, m_permissions, m_services, m_updater,
                                    m_timers, m_events, *m_userStore, *m_presets});
    }

    /** A signed-in, synchronised coordinator. */
    std::unique_ptr<MainCoordinator> startedSignedIn() {
        signIn();
        m_services.answers = {std::nullopt};
        auto coordinator = makeCoordinator();
        coordinator->syncUserData();
        return coordinator;
    }

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<TemporarySettings>();
        m_windows = {};
        m_tracker = {};
        m_permissions = {};
        m_services = {};
        m_updater = {};
    }
    void cleanup() { m_settings.reset(); }

    void startUpDecidesBetweenWidgetAndSignIn_data() {
        QTest::addColumn<bool>("storedUser");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<std::optional<UserError>>("answer");
        QTest::addColumn<bool>("signInShown");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("promptFetches");
        // No user: an empty token goes out, the sign-in window comes up.
        QTest::newRow("first launch")
            << false << true << std::optional(UserError::unauthorised) << true << false << 0;
        QTest::newRow("signed in")
            << true << true << std::optional<UserError>() << false << true << 1;
        QTest::newRow("untrusted")
            << true << false << std::optional<UserError>() << true << true << 1;
        QTest::newRow("rejected user")
            << true << true << std::optional(UserError::unauthorised) << true << false << 0;
        // Not a rejection: the user is kept.
        QTest::newRow("generic failure")
            << true << true << std::optional(UserError::generic) << false << true << 1;
    }
    void startUpDecidesBetweenWidgetAndSignIn() {
        QFETCH(bool, storedUser);
        QFETCH(bool, trusted);
        QFETCH(std::optional<UserError>, answer);
        QFETCH(bool, signInShown);
        QFETCH(bool, signedIn);
        QFETCH(int, promptFetches);
        if (storedUser)
            signIn();
        m_permissions.trusted = trusted;
        m_services.answers = {answer};
        auto coordinator = makeCoordinator();
        QVERIFY(m_updater.automatic && m_updater.started);
        coordinator->syncUserData();

        QCOMPARE(m_services.tokens, QStringList{storedUser ? u"stored-key"_s : QString()});
        QVERIFY(coordinator->userSynced());
        QVERIFY(!coordinator->isSyncRetrying());
        QCOMPARE(m_windows.isShowing(Window::authGroupId), signInShown);
        QCOMPARE(coordinator->activationPolicy(),
                 signInShown ? Policy::regular : Policy::accessory);
        QCOMPARE(UserStore().isAuthorised(), signedIn); // persisted
        QCOMPARE(m_presets->fetches, promptFetches);
        // The widget is prepared for a user but not shown by itself; never without one.
        QCOMPARE(m_windows.get(Window::mainGroupId) != nullptr, signedIn);
        QVERIFY(!m_windows.isShowing(Window::mainGroupId));
        QCOMPARE(coordinator->showMenuBarExtra(), signedIn && !signInShown);
        coordinator->openWidget(false);
        QCOMPARE(coordinator->widgetShown(), !signInShown);
    }

    void serviceDownOpensNoConnectionOnceAtTheFifteenthRetry() {
        m_services.answers = {UserError::failedToConnect};
        auto coordinator = makeCoordinator();
        coordinator->syncUserData();
        QVERIFY(coordinator->isSyncRetrying());

        m_timers.advance(14 * 2s);
        QCOMPARE(coordinator->connectionAttempts(), 14);
        QVERIFY(!m_windows.get(Window::noConnectionGroupId));

        m_timers.advance(2s);
        QCOMPARE(coordinator->connectionAttempts(), 15);
        QVERIFY(m_windows.isShowing(Window::noConnectionGroupId));

        m_timers.advance(3 * 2s);
        QCOMPARE(m_windows.get(Window::noConnectionGroupId)->shows, 1);

        // The service comes back (and rejects nobody: no stored user means sign-in).
        m_services.answers = {UserError::unauthorised};
        m_timers.advance(2s);
        QVERIFY(m_windows.isShowing(Window::authGroupId));
        QVERIFY(!coordinator->isSyncRetrying());
        const int fetches = m_services.fetches;
        m_timers.advance(60s);
        QCOMPARE(m_services.fetches, fetches);
    }

    void widgetRequestedWhileOfflineShowsNoConnection() {
        m_services.answers = {UserError::failedToConnect};
        auto coordinator = makeCoordinator();
        coordinator->syncUserData();
        coordinator->openWidget(false);
        QVERIFY(!m_windows.get(Window::noConnectionGroupId)); // no retry yet
        m_timers.advance(2s);
        coordinator->openWidget(false);
        QVERIFY(m_windows.isShowing(Window::noConnectionGroupId));
    }

    void widgetIsCentredOnlyWhenTheScreenChanges() {
        auto coordinator = startedSignedIn();
        coordinator->showWidget();
        FakeWindow* widget = m_windows.get(Window::mainGroupId);
        QCOMPARE(widget->frameRect.center(), QPoint(500, 400) - QPoint(1, 1));

        widget->frameRect.moveTo(10, 20); // the user drags it
        coordinator->hideWidget(std::nullopt);
        coordinator->showWidget();
        QCOMPARE(widget->frameRect.topLeft(), QPoint(10, 20));

        m_windows.screen = ScreenInfo{u"right"_s, QRect(1000, 0, 1000, 800)};
        coordinator->showWidget();
        QCOMPARE(widget->frameRect.topLeft(), QPoint(1300, 250));
    }

    void toggleReturnsFocusToThePreviousApplication() {
        auto coordinator = startedSignedIn();
        const RunningApp editor{42, 1234, u"mousepad"_s};
        m_tracker.frontmost = editor;

        coordinator->toggleWidget();
        QVERIFY(coordinator->widgetShown());
        QVERIFY(m_windows.isShowing(Window::mainGroupId));

        m_tracker.frontmost = RunningApp{7, 1, u"orvane"_s};
        coordinator->toggleWidget();
        QVERIFY(!coordinator->widgetShown());
        QVERIFY(!m_windows.isShowing(Window::mainGroupId));
        QCOMPARE(m_tracker.activated, QList<quint32>{editor.windowId});
    }

    void logoutReturnsToSignInOnlyOnceTheServiceAgrees() {
        auto coordinator = startedSignedIn();
        m_services.logoutSucceeds = false;
        Q_EMIT m_events.userLoggedOut();
        QCOMPARE(m_services.logouts, 1);
        QVERIFY(coordinator->getUserStore().isAuthorised());
        QVERIFY(!m_windows.get(Window::authGroupId));

        m_services.logoutSucceeds = true;
        coordinator->openSettings();
        QVERIFY(m_windows.isShowing(Window::settingsGroupId));
        coordinator->showWidget();
        QSignalSpy hidden(&m_events, &AppEvents::widgetHidden);
        coordinator->logout();
        QVERIFY(!coordinator->getUserStore().isAuthorised());
        QVERIFY(!m_windows.isShowing(Window::mainGroupId));
        QVERIFY(!coordinator->widgetShown());
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(coordinator->activationPolicy(), Policy::regular);
        QVERIFY(!coordinator->canShowWidget());
        QVERIFY(!coordinator->showMenuBarExtra());

        coordinator->logout(); // nobody left to sign out
        QCOMPARE(m_services.logouts, 2);
    }
};

QTEST_GUILESS_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
