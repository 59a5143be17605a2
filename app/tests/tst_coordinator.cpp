#include "app/coordinatorservices.h"
#include "app/maincoordinator.h"
#include "app/updater.h"
#include "app/windowsystem.h"
#include "core/appevents.h"
#include "core/settingsstore.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "service/userserviceprotocol.h"
#include "store/presetstoreprotocol.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QtTest>

#include <deque>
#include <map>

using namespace Qt::StringLiterals;

using AppConstants::Window;
using namespace std::chrono_literals;

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
    void setAutomaticallyChecksForUpdates(bool) override {}
    void startUpdater() override {}
    void checkForUpdates() override {}
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
        coordinator->syncUserData();

        QCOMPARE(m_services.tokens, QStringList{storedUser ? u"stored-key"_s : QString()});
        QCOMPARE(m_windows.isShowing(Window::authGroupId), signInShown);
        QCOMPARE(UserStore().isAuthorised(), signedIn); // persisted
        QCOMPARE(m_presets->fetches, promptFetches);
        // The widget is prepared for a user but not shown by itself; never without one.
        QCOMPARE(m_windows.get(Window::mainGroupId) != nullptr, signedIn);
        QVERIFY(!m_windows.isShowing(Window::mainGroupId));
        QCOMPARE(coordinator->showMenuBarExtra(), signedIn && !signInShown);
        coordinator->openWidget(false);
        QCOMPARE(coordinator->widgetShown(), !signInShown);
    }

    void serviceDownOpensNoConnectionOnRequestAndOnceAtTheFifteenthRetry() {
        m_services.answers = {UserError::failedToConnect};
        auto coordinator = makeCoordinator();
        coordinator->syncUserData();
        coordinator->openWidget(false);
        QVERIFY(!m_windows.get(Window::noConnectionGroupId)); // no retry yet
        m_timers.advance(2s);
        coordinator->openWidget(false);
        QVERIFY(m_windows.isShowing(Window::noConnectionGroupId));
        m_windows.get(Window::noConnectionGroupId)->close(); // the user closes it

        m_timers.advance(13 * 2s);
        QVERIFY(!m_windows.isShowing(Window::noConnectionGroupId));
        m_timers.advance(2s);
        QVERIFY(m_windows.isShowing(Window::noConnectionGroupId));

        m_timers.advance(3 * 2s);
        QCOMPARE(m_windows.get(Window::noConnectionGroupId)->shows, 2);

        // The service comes back (and rejects nobody: no stored user means sign-in).
        m_services.answers = {UserError::unauthorised};
        m_timers.advance(2s);
        QVERIFY(m_windows.isShowing(Window::authGroupId));
        const int fetches = m_services.fetches;
        m_timers.advance(60s);
        QCOMPARE(m_services.fetches, fetches);
    }

    void widgetIsCentredOnlyWhenTheScreenChanges() {
        auto coordinator = startedSignedIn();
        coordinator->showWidget();
        FakeWindow* widget = m_windows.get(Window::mainGroupId);
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
        QVERIFY(m_windows.isShowing(Window::mainGroupId));

        m_tracker.frontmost = RunningApp{7, 1, u"orvane"_s};
        coordinator->toggleWidget();
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
        coordinator->showWidget();
        QSignalSpy hidden(&m_events, &AppEvents::widgetHidden);
        coordinator->logout();
        QVERIFY(!coordinator->getUserStore().isAuthorised());
        QVERIFY(!m_windows.isShowing(Window::mainGroupId));
        QCOMPARE(hidden.count(), 1);
        QVERIFY(!coordinator->showMenuBarExtra());

        coordinator->logout(); // nobody left to sign out
        QCOMPARE(m_services.logouts, 2);
    }
};

QTEST_GUILESS_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
