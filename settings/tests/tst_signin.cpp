#include "core/appevents.h"
#include "fakemaincoordinator.h"
#include "fakeplatform.h"
#include "manualtimer.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"
#include "settings/authorizationviewmodel.h"
#include "settings/pagemodels.h"
#include "temporarysettings.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

const ServiceBase& base() {
    static const ServiceBase value = *ServiceBase::parse(u"https://orvane.example.org"_s);
    return value;
}

void storeWindowHotkey(const QString& text) {
    AppSettings().setPreferencesSettings(PreferencesSettings{text});
}

/** A sign-in channel that only records what the flow asked of it. */
class FakeAuthSocket final : public WebSocketAuthServiceProtocol {
public:
    explicit FakeAuthSocket(QStringList& log)
        : m_log(log) {}
    ~FakeAuthSocket() override { m_log << u"dropped"_s; }
    void connect(WebSocketAuthServiceDelegate* d) override {
        delegate = d;
        m_log << u"connect"_s;
    }
    void disconnect() override {
        delegate = nullptr;
        m_log << u"disconnect"_s;
    }

    WebSocketAuthServiceDelegate* delegate = nullptr;

private:
    QStringList& m_log;
};

} // namespace

class SignInTest : public QObject {
    Q_OBJECT

private:
    TemporarySettings m_settings;
    FakeCoordinator m_coordinator;
    FakePermissionsManager m_permissions;
    ManualTimerSource m_timers;
    AppEvents m_events;
    QStringList m_socketLog;
    QList<FakeAuthSocket*> m_sockets;
    QList<QUrl> m_opened;

    std::unique_ptr<AuthorizationViewModel> makeModel() {
        AuthorizationViewModel::Dependencies deps{
            m_coordinator.userStore,
            m_coordinator,
            m_events,
            pages(),
            m_permissions,
            m_timers,
            [this](const QString&) {
                auto socket = std::make_unique<FakeAuthSocket>(m_socketLog);
                m_sockets << socket.get();
                return socket;
            },
            [this](const QUrl& url) {
                m_opened << url;
            }};
        return std::make_unique<AuthorizationViewModel>(deps);
    }

    PageContext pages() const {
        return {m_coordinator.userStore, m_coordinator.appearance, base()};
    }

    static AuthJoinReplayDto loggedIn(const QString& topic) {
        return {EventEnum::loggedIn, {u"ada@example.org"_s, 7, u"fresh-key"_s}, topic};
    }

private Q_SLOTS:
    void init() {
        m_settings.clear();
        m_coordinator.userStore.setUser(std::nullopt);
        m_coordinator.calls.clear();
        m_coordinator.appearance.dark = false;
        m_permissions.trusted = true;
        m_socketLog.clear();
        m_sockets.clear();
        m_opened.clear();
    }

    void signInOpensTheBrowserAndFollowsTheChannel() {
        auto model = makeModel();
        QVERIFY(model->urlRequest()->headers.isEmpty()); // nobody to name yet
        QVERIFY(model->signInCode().isEmpty());
        model->handleAction("sign_in");
        const QString firstToken = model->authToken();
        QCOMPARE(m_socketLog, QStringList{"connect"});
        QCOMPARE(m_sockets.first()->delegate, model.get());
        QCOMPARE(model->signInCode(), SignIn::shortCode(firstToken));
        model->channelReady();
        QCOMPARE(m_opened.size(), 1);
        // The page gets the token and the verifier's hash; the verifier stays here.
        const QUrlQuery query(m_opened.first());
        QCOMPARE(query.queryItemValue("token"), firstToken);
        QCOMPARE(query.queryItemValue("challenge"), SignIn::challengeFor(firstToken));
        QVERIFY(!m_opened.first().toString().contains(SignIn::verifierFor(firstToken)));
        QTRY_COMPARE(model->urlRequest()->url.path(), u"/web_view/continue"_s);
        QCOMPARE(model->urlRequest()->header("Authorization"), QByteArray("Bearer "));

        // A second attempt has a token of its own and replaces the first socket; sign-up
        // goes to the register page.
        model->handleAction("sign_up");
        QVERIFY(model->authToken() != firstToken);
        QCOMPARE(m_socketLog, (QStringList{"connect", "dropped", "connect"}));
        model->channelReady();
        QCOMPARE(m_opened.last().path(), u"/users/register"_s);
        model->userReceived(loggedIn("auth:" + firstToken));
        QVERIFY(!m_coordinator.userStore.isAuthorised());

        model->userReceived(loggedIn("auth:someone-else"));
        QVERIFY(!m_coordinator.userStore.isAuthorised());

        storeWindowHotkey("command+option+c");
        model->userReceived(loggedIn("auth:" + model->authToken()));
        QCOMPARE(m_coordinator.userStore.user()->deviceKey, u"fresh-key"_s);
        QCOMPARE(m_socketLog.last(), u"disconnect"_s);
        QVERIFY(model->signInCode().isEmpty());
        QCOMPARE(m_coordinator.calls, QStringList{"loadPresets"});
        const PageRequest finish = *model->urlRequest();
        QCOMPARE(finish.url.path(), u"/web_view/finish"_s);
        QCOMPARE(finish.headers,
                 (QList<PageRequest::Header>{{"Authorization", "Bearer fresh-key"},
                                             {"Window-Hotkey", "command+option+c"}}));
    }

    void untrustedUserWaitsOnTheWelcomePage() {
        m_permissions.trusted = false;
        auto model = makeModel();
        model->handleAction("sign_in");
        model->userReceived(loggedIn("auth:" + model->authToken()));
        QCOMPARE(model->urlRequest()->url.path(), u"/web_view/welcome"_s);
        QVERIFY(model->isPolling());
        m_timers.advance(3s);
        QCOMPARE(model->urlRequest()->url.path(), u"/web_view/welcome"_s);

        m_permissions.trusted = true;
        m_timers.advance(1s);
        QCOMPARE(model->urlRequest()->url.path(), u"/web_view/finish"_s);
        QVERIFY(!model->isPolling());
    }

    void helpPageCarriesTheHotkeyAndTheAppearance() {
        m_coordinator.userStore.signedIn = User{u"ada@example.org"_s, 7, u"k1"_s};
        m_coordinator.appearance.dark = true;
        storeWindowHotkey("command+option+c");
        HelpCenterViewModel help(pages(), m_coordinator, m_events);
        QCOMPARE(help.urlRequest()->header("Window-Hotkey"), QByteArray("command+option+c"));
        QCOMPARE(help.urlRequest()->header("Dark-Theme"), QByteArray("True"));

        // A new hotkey reaches the open help page; an empty one is left out.
        QSignalSpy reloads(&help, &HelpCenterViewModel::urlRequestChanged);
        storeWindowHotkey("");
        Q_EMIT m_events.windowHotkeyChanged();
        QCOMPARE(reloads.count(), 1);
        QCOMPARE(help.urlRequest()->header("Window-Hotkey"), std::nullopt);

        help.handleAction("start");
        QCOMPARE(m_coordinator.calls, QStringList{"showWidget"});
    }
};

QTEST_MAIN(SignInTest)
#include "tst_signin.moc"
