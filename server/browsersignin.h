#pragma once

#include "ratelimiter.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>

#include <functional>

namespace OrvaneServer {

class AccountStore;
class AuthChannel;
class HttpServer;
struct HttpRequest;
struct HttpResponse;

/**
 * The sign-in and sign-up pages opened in the user's browser with the
 * application's sign-in token. Success creates a device key and hands the
 * user to the application through the sign-in channel of that token.
 */
class BrowserSignIn {
public:
    /**
     * Failed sign-ins per email from one address, per address, and per email from
     * anywhere before the pages ask to wait. The last grows the wait from one second to a
     * minute instead of locking the account: guesses from elsewhere cannot lock its owner out.
     */
    static constexpr int FailuresPerEmailAndAddress = 5;
    static constexpr int FreeFailuresPerEmail = 10;
    static constexpr qint64 MaxEmailDelaySeconds = 60;
    static constexpr int FailuresPerAddress = 20;
    static constexpr int SignUpsPerAddress = 20;
    static constexpr qint64 WindowMs = 15 * 60 * 1000;

    BrowserSignIn(AccountStore& accounts, AuthChannel& channel);

    void registerRoutes(HttpServer& server);

    /**
     * With several instances on one database the limits hold for all of them together:
     * share passes each event counted here on, and every instance applies the others'.
     */
    void setShare(std::function<void(const QString& payload)> share) { m_share = std::move(share); }
    /** Counts an event that an instance passed on; this instance's own are ignored. */
    void applyShared(const QString& payload);

private:
    enum class Mode { SignIn, SignUp };

    HttpResponse showForm(Mode mode, const HttpRequest& request);
    QFuture<HttpResponse> submit(Mode mode, const HttpRequest& request);
    HttpResponse emailTaken(const HttpRequest& request, const QString& token, const QString& email);
    HttpResponse formPage(Mode mode, const HttpRequest& request, const QString& token,
                          const QString& email, const QString& error, int status);
    HttpResponse finish(const HttpRequest& request, qint64 userId, const QString& email,
                        const QString& token);
    [[nodiscard]] QByteArray csrfFor(const QByteArray& nonce, const QString& token) const;
    /** event: "fail" (a wrong password), "ok" (a sign-in) or "sign-up". */
    void count(const QString& event, const QString& email, const QString& address);
    void countAndShare(const QString& event, const QString& email, const QString& address);

    AccountStore& m_accounts;
    AuthChannel& m_channel;
    QByteArray m_csrfSecret;
    RateLimiter m_failuresBySource{FailuresPerEmailAndAddress, WindowMs};
    BackoffLimiter m_failuresByEmail{FreeFailuresPerEmail, MaxEmailDelaySeconds, WindowMs};
    RateLimiter m_failuresByAddress{FailuresPerAddress, WindowMs};
    RateLimiter m_signUpsByAddress{SignUpsPerAddress, WindowMs};
    std::function<void(const QString&)> m_share;
    const QString m_instance;
    /** Continuations of background work run on the event loop through this object. */
    QObject m_context;
};

} // namespace OrvaneServer
