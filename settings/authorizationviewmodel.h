#pragma once

#include "service/websocketauthservice.h"
#include "settings/pagerequest.h"

#include <QObject>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class AppEvents;
class ServiceBase;
class PermissionsManagerProtocol;
class SignInHost;
class Timer;
class TimerSource;
class UserStoreProtocol;

/**
 * The sign-in window: which service page it shows, the browser sign-in tied to this
 * window's token, the sign-in channel that delivers the user, and the wait for the
 * input permission.
 */
class AuthorizationViewModel final : public QObject, public WebSocketAuthServiceDelegate {
    Q_OBJECT
    Q_PROPERTY(QVariant urlRequest READ urlRequestValue NOTIFY urlRequestChanged)
    /** The code the browser's sign-in page shows too; empty while no sign-in runs. */
    Q_PROPERTY(QString signInCode READ signInCode NOTIFY signInCodeChanged)
    Q_PROPERTY(double width MEMBER width CONSTANT)
    Q_PROPERTY(double height MEMBER height CONSTANT)

public:
    using SocketFactory =
        std::function<std::unique_ptr<WebSocketAuthServiceProtocol>(const QString& token)>;
    using BrowserOpener = std::function<void(const QUrl& url)>;

    struct Dependencies {
        /** The signed-in user; a delivered user is stored here. */
        UserStoreProtocol& session;
        SignInHost& host;
        AppEvents& events;
        PageContext pages;
        PermissionsManagerProtocol& permissionsManager;
        TimerSource& timers;
        /** Makes the sign-in channel for a token. */
        SocketFactory makeSocket;
        BrowserOpener openBrowser;
    };

    explicit AuthorizationViewModel(Dependencies deps, QObject* parent = nullptr);
    ~AuthorizationViewModel() override;

    /** The production dependencies: the real socket and the desktop's browser. */
    static SocketFactory serviceSocketFactory(const ServiceBase& base, TimerSource& timers);
    static BrowserOpener desktopBrowser();

    const double width = 844;
    const double height = 620;

    /** The token of the sign-in that runs now; a new one for every attempt. */
    [[nodiscard]] const QString& authToken() const { return m_authToken; }
    [[nodiscard]] QString signInCode() const;
    [[nodiscard]] const std::optional<PageRequest>& urlRequest() const { return m_urlRequest; }
    [[nodiscard]] const std::optional<QUrl>& urlToOpen() const { return m_urlToOpen; }
    [[nodiscard]] bool isPolling() const;
    [[nodiscard]] WebSocketAuthServiceProtocol* authWebSocket() const {
        return m_authWebSocket.get();
    }

    /** An identifier the page reported. */
    Q_INVOKABLE void handleAction(const QString& identifier);
    void checkAccessibility();

    void channelReady() override;
    void userReceived(const AuthJoinReplayDto& message) override;

Q_SIGNALS:
    void urlRequestChanged();
    void signInCodeChanged();

private:
    [[nodiscard]] QVariant urlRequestValue() const;
    void show(const QString& path);
    void resetToSignIn();
    void startSignIn(bool signUp);
    void setSignInRunning(bool running);
    void startPolling();
    void start();

    Dependencies m_deps;
    QString m_authToken;
    std::unique_ptr<WebSocketAuthServiceProtocol> m_authWebSocket;
    bool m_signInRunning = false;
    std::optional<QUrl> m_urlToOpen;
    std::optional<PageRequest> m_urlRequest;
    std::unique_ptr<Timer> m_accebilityTimer;
};
