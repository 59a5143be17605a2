#include "settings/authorizationviewmodel.h"

#include "core/appevents.h"
#include "core/logging.h"
#include "core/signinhost.h"
#include "core/timer.h"
#include "platform/permissionsmanager.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "store/userstore.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

using namespace std::chrono_literals;

AuthorizationViewModel::AuthorizationViewModel(Dependencies deps, QObject* parent)
    : QObject(parent)
    , m_deps(std::move(deps))
    , m_authToken(SignIn::makeToken()) {
    if (!m_deps.session.isAuthorised()) {
        resetToSignIn();
        return;
    }
    if (!m_deps.permissionsManager.isTrusted(true)) {
        show(PageRequests::welcomePath);
        startPolling();
    }
}

AuthorizationViewModel::~AuthorizationViewModel() = default;

AuthorizationViewModel::SocketFactory
AuthorizationViewModel::serviceSocketFactory(const ServiceBase& base, TimerSource& timers) {
    return [&base, &timers](const QString& token) -> std::unique_ptr<WebSocketAuthServiceProtocol> {
        return WebSocketAuthService::create(token, &lcWebSocket(), base, timers);
    };
}

AuthorizationViewModel::BrowserOpener AuthorizationViewModel::desktopBrowser() {
    return [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
}

QString AuthorizationViewModel::signInCode() const {
    return m_signInRunning ? SignIn::shortCode(m_authToken) : QString();
}

bool AuthorizationViewModel::isPolling() const {
    return m_accebilityTimer && m_accebilityTimer->isActive();
}

QVariant AuthorizationViewModel::urlRequestValue() const {
    return m_urlRequest ? QVariant::fromValue(*m_urlRequest) : QVariant();
}

void AuthorizationViewModel::show(const QString& path) {
    m_urlRequest = PageRequests::pageRequest(path, m_deps.pages, PageRequests::Hotkey::included);
    Q_EMIT urlRequestChanged();
}

void AuthorizationViewModel::setSignInRunning(bool running) {
    m_signInRunning = running;
    Q_EMIT signInCodeChanged();
}

void AuthorizationViewModel::resetToSignIn() {
    m_urlRequest = PageRequests::signInRequest(m_deps.pages);
    Q_EMIT urlRequestChanged();
}

void AuthorizationViewModel::handleAction(const QString& identifier) {
    if (identifier == QLatin1String("sign_in")) {
        startSignIn(false);
    } else if (identifier == QLatin1String("sign_up")) {
        startSignIn(true);
    } else if (identifier == QLatin1String("show_settings")) {
        m_deps.permissionsManager.openAccessibilitySettings();
    } else if (identifier == QLatin1String("settings")) {
        // Settings last: opening them puts the widget that sign-in brings up away again.
        start();
        m_deps.host.openSettings();
    } else if (identifier == QLatin1String("start")) {
        start();
    } else if (identifier == QLatin1String("logout")) {
        Q_EMIT m_deps.events.userLoggedOut();
        resetToSignIn();
    }
}

void AuthorizationViewModel::start() {
    resetToSignIn();
    m_deps.host.finishSignIn();
}

void AuthorizationViewModel::startSignIn(bool signUp) {
    // A token signs in once: every attempt draws its own, and only this window's socket,
    // which holds the verifier, can receive the result.
    m_authToken = SignIn::makeToken();
    const QUrl url = SignIn::browserPageUrl(m_deps.pages.base, m_authToken, signUp);
    m_urlToOpen = url.isValid() ? std::optional<QUrl>(url) : std::nullopt;
    // Replacing the service drops the earlier attempt's connection.
    m_authWebSocket = m_deps.makeSocket(m_authToken);
    if (m_authWebSocket)
        m_authWebSocket->connect(this);
    setSignInRunning(true);
}

void AuthorizationViewModel::channelReady() {
    if (!m_urlToOpen) {
        qCCritical(lcUrl, "not able to construct url: nil");
        return;
    }
    m_deps.openBrowser(*m_urlToOpen);
    QPointer<AuthorizationViewModel> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->show(PageRequests::continuePath);
    });
}

void AuthorizationViewModel::userReceived(const AuthJoinReplayDto& message) {
    if (!message.topic.contains(m_authToken))
        return;
    m_deps.session.setUser(message.payload);
    if (m_authWebSocket)
        m_authWebSocket->disconnect();
    setSignInRunning(false);
    if (!m_deps.session.isAuthorised())
        return;
    m_deps.host.loadPresets();
    if (m_deps.permissionsManager.isTrusted(true)) {
        show(PageRequests::finishPath);
    } else {
        show(PageRequests::welcomePath);
        startPolling();
    }
}

void AuthorizationViewModel::startPolling() {
    if (isPolling())
        return;
    if (!m_accebilityTimer)
        m_accebilityTimer = m_deps.timers.createTimer();
    m_accebilityTimer->start(1s, Timer::Mode::Repeating, [this] { checkAccessibility(); });
}

void AuthorizationViewModel::checkAccessibility() {
    if (!m_deps.permissionsManager.isTrusted(true))
        return;
    // Stopped, not destroyed: this runs inside the timer's own action.
    m_accebilityTimer->stop();
    show(PageRequests::finishPath);
    // Bring the sign-in window back in front of the settings the user just used.
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && window->objectName() == QLatin1String("Authorization")) {
            window->raise();
            window->requestActivate();
        }
    }
}
