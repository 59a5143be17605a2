#include "browsersignin.h"

#include "accountstore.h"
#include "authchannel.h"
#include "background.h"
#include "httpserver.h"
#include "pagerenderer.h"
#include "secrets.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QUrlQuery>
#include <QUuid>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcSignIn, "orvane.signin")

namespace {

constexpr auto CsrfCookie = "orvane_csrf";
constexpr qsizetype MinPasswordChars = 8;
constexpr qsizetype MaxPasswordChars = 1024;

QString formValue(const QUrlQuery& form, const char* key) {
    return form.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
}

QUrlQuery parseForm(const QByteArray& body) {
    QByteArray normalized = body;
    normalized.replace('+', ' ');
    return QUrlQuery(QString::fromUtf8(normalized));
}

} // namespace

BrowserSignIn::BrowserSignIn(AccountStore& accounts, AuthChannel& channel)
    : m_accounts(accounts)
    , m_channel(channel)
    , m_csrfSecret(Secrets::randomBytes(32))
    , m_instance(QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

void BrowserSignIn::registerRoutes(HttpServer& server) {
    server.route("GET", QStringLiteral("/users/log_in"),
                 [this](const HttpRequest& r) { return showForm(Mode::SignIn, r); });
    server.route("GET", QStringLiteral("/users/register"),
                 [this](const HttpRequest& r) { return showForm(Mode::SignUp, r); });
    server.deferredRoute("POST", QStringLiteral("/users/log_in"),
                         [this](const HttpRequest& r) { return submit(Mode::SignIn, r); });
    server.deferredRoute("POST", QStringLiteral("/users/register"),
                         [this](const HttpRequest& r) { return submit(Mode::SignUp, r); });
}

QByteArray BrowserSignIn::csrfFor(const QByteArray& nonce, const QString& token) const {
    return Secrets::hmac(m_csrfSecret, nonce + '|' + token.toLatin1())
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

HttpResponse BrowserSignIn::showForm(Mode mode, const HttpRequest& request) {
    const QString token = request.query.queryItemValue(QStringLiteral("token"));
    return formPage(mode, request, token, {}, {}, 200);
}

HttpResponse BrowserSignIn::formPage(Mode mode, const HttpRequest& request, const QString& token,
                                     const QString& email, const QString& error, int status) {
    const bool dark = wantsDarkTheme(request);
    if (!AuthChannel::isValidToken(token)) {
        return HttpResponse::html(
            renderPage(QStringLiteral("Link incomplete"),
                       QStringLiteral("<h1>This sign-in link is incomplete</h1>"
                                      "<p>Start signing in from the Orvane window again; it opens "
                                      "this page with the link it needs.</p>"),
                       dark),
            400);
    }
    // The application's verifier hash; the page and the application both show its code.
    QString challenge = request.query.queryItemValue(QStringLiteral("challenge"));
    if (challenge.isEmpty())
        challenge = formValue(parseForm(request.body), "challenge");
    if (!challenge.isEmpty() && !AuthChannel::isValidChallenge(challenge))
        challenge.clear();
    if (m_channel.isSpent(token)) {
        return HttpResponse::html(
            renderPage(QStringLiteral("Link used"),
                       QStringLiteral("<h1>This sign-in link has been used or has expired</h1>"
                                      "<p>Start signing in from the Orvane window again.</p>"),
                       dark),
            410);
    }
    // Double-submit: a random cookie plus a form field derived from it and the token.
    QByteArray nonce = request.cookie(CsrfCookie);
    const bool newNonce = nonce.size() < 16 || nonce.size() > 64;
    if (newNonce)
        nonce = Secrets::randomBytes(18).toBase64(QByteArray::Base64UrlEncoding);

    const bool signIn = mode == Mode::SignIn;
    const QString action =
        signIn ? QStringLiteral("/users/log_in") : QStringLiteral("/users/register");
    const QString other =
        signIn ? QStringLiteral("/users/register") : QStringLiteral("/users/log_in");
    QString content = signIn ? QStringLiteral("<h1>Sign in to Orvane</h1>"
                                              "<p>Use the email and password of your account.</p>")
                             : QStringLiteral("<h1>Create your Orvane account</h1>"
                                              "<p>Choose the email and password you will sign in "
                                              "with. Passwords need at least 8 characters.</p>");
    if (!challenge.isEmpty())
        content += QLatin1String("<p>Signing in Orvane, requested at ") +
                   QDateTime::currentDateTimeUtc().toString(QStringLiteral("HH:mm")) +
                   QLatin1String(" UTC. Go on only if the Orvane window shows this code:</p>"
                                 "<p class=\"lead\"><strong id=\"sign_in_code\">") +
                   AuthChannel::shortCode(challenge) + QLatin1String("</strong></p>");
    if (!error.isEmpty())
        content += QLatin1String("<p class=\"error\" id=\"form_error\" role=\"alert\">") +
                   escapeHtml(error) + QLatin1String("</p>");
    content +=
        QLatin1String("<form method=\"post\" action=\"") + action +
        QLatin1String("\"><input type=\"hidden\" name=\"token\" value=\"") + escapeHtml(token) +
        QLatin1String("\"><input type=\"hidden\" name=\"challenge\" value=\"") + challenge +
        QLatin1String("\"><input type=\"hidden\" name=\"csrf_token\" value=\"") +
        QString::fromLatin1(csrfFor(nonce, token)) +
        QLatin1String("\"><label>Email<input type=\"email\" name=\"email\" "
                      "autocomplete=\"email\" required maxlength=\"254\" value=\"") +
        escapeHtml(email) +
        QLatin1String("\"></label><label>Password<input type=\"password\" "
                      "name=\"password\" required autocomplete=\"") +
        (signIn ? QLatin1String("current-password") : QLatin1String("new-password")) +
        QLatin1String("\"></label><div class=\"actions\"><button type=\"submit\" "
                      "id=\"submit\">") +
        (signIn ? QLatin1String("Sign in") : QLatin1String("Create account")) +
        QLatin1String("</button></div></form><p class=\"switch\">") +
        (signIn ? QLatin1String("No account yet? ") : QLatin1String("Already registered? ")) +
        QLatin1String("<a href=\"") + other + QLatin1String("?token=") + escapeHtml(token) +
        QLatin1String("\">") + (signIn ? QLatin1String("Create one") : QLatin1String("Sign in")) +
        QLatin1String("</a></p>");

    HttpResponse response = HttpResponse::html(
        renderPage(signIn ? QStringLiteral("Sign in") : QStringLiteral("Create account"), content,
                   dark),
        status);
    if (newNonce)
        response.headers.emplace_back(
            "Set-Cookie", QByteArray(CsrfCookie) + '=' + nonce +
                              "; Path=/users; HttpOnly; SameSite=Strict; Max-Age=86400" +
                              (request.secure ? QByteArray("; Secure") : QByteArray()));
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

QFuture<HttpResponse> BrowserSignIn::submit(Mode mode, const HttpRequest& request) {
    const auto ready = [](HttpResponse response) {
        return QtFuture::makeReadyFuture(std::move(response));
    };
    const QUrlQuery form = parseForm(request.body);
    const QString token = formValue(form, "token");
    const QString email = AccountStore::normalizeEmail(formValue(form, "email"));
    const QString password = formValue(form, "password");
    const QString address = request.remoteAddress.toString();

    if (!AuthChannel::isValidToken(token) || m_channel.isSpent(token))
        return ready(formPage(mode, request, token, {}, {}, 400));
    const QByteArray nonce = request.cookie(CsrfCookie);
    if (nonce.isEmpty() || !Secrets::equalInConstantTime(csrfFor(nonce, token),
                                                         formValue(form, "csrf_token").toLatin1()))
        return ready(formPage(mode, request, token, email,
                              QStringLiteral("This form has expired. Please try again."), 403));
    if (!AccountStore::isPlausibleEmail(email))
        return ready(formPage(mode, request, token, email,
                              QStringLiteral("Please enter a valid email address."), 400));
    if (password.isEmpty() || password.size() > MaxPasswordChars)
        return ready(formPage(mode, request, token, email,
                              QStringLiteral("Please enter your password."), 400));

    const auto tooMany = [&](qint64 seconds) {
        HttpResponse response = formPage(
            mode, request, token, email,
            seconds < 60 ? QStringLiteral("Too many attempts. Please wait %1 second(s) and try "
                                          "again.")
                               .arg(seconds)
                         : QStringLiteral("Too many attempts. Please wait %1 minute(s) and try "
                                          "again.")
                               .arg((seconds + 59) / 60),
            429);
        response.headers.emplace_back("Retry-After", QByteArray::number(seconds));
        return response;
    };

    if (mode == Mode::SignUp) {
        if (const qint64 wait = m_signUpsByAddress.retryAfterSeconds(address))
            return ready(tooMany(wait));
        countAndShare(QStringLiteral("sign-up"), email, address);
        if (password.size() < MinPasswordChars)
            return ready(
                formPage(mode, request, token, email,
                         QStringLiteral("Please choose a password of at least %1 characters.")
                             .arg(MinPasswordChars),
                         400));
        if (m_accounts.findByEmail(email))
            return ready(emailTaken(request, token, email));
        // Argon2id takes a good fraction of a second: never on the event loop.
        return runInBackground([password] { return Secrets::hashPassword(password); })
            .then(&m_context, [this, request, token, email](const QString& hash) {
                AccountStore::CreateError error{};
                const std::optional<UserRecord> user =
                    m_accounts.createUserWithHash(email, hash, &error);
                if (!user) {
                    if (error == AccountStore::CreateError::EmailTaken)
                        return emailTaken(request, token, email);
                    return formPage(Mode::SignUp, request, token, email,
                                    QStringLiteral("Your account could not be created. Please "
                                                   "try again later."),
                                    500);
                }
                qCInfo(lcSignIn) << "account created, user" << user->id;
                return finish(request, user->id, user->email, token);
            });
    }

    const QString source = email + QLatin1Char('|') + address;
    const qint64 wait = std::max({m_failuresBySource.retryAfterSeconds(source),
                                  m_failuresByAddress.retryAfterSeconds(address),
                                  m_failuresByEmail.retryAfterSeconds(email)});
    if (wait > 0)
        return ready(tooMany(wait));
    // Counted before the check so that parallel guesses cannot outrun the limit.
    countAndShare(QStringLiteral("fail"), email, address);
    const std::optional<std::pair<UserRecord, QString>> credentials =
        m_accounts.credentialsFor(email);
    return runInBackground([password, credentials] {
               if (!credentials) {
                   Secrets::verifyAgainstDummy(password);
                   return false;
               }
               return Secrets::verifyPassword(password, credentials->second);
           })
        .then(&m_context, [this, request, token, email, address, credentials](bool valid) {
            if (!valid) {
                qCInfo(lcSignIn) << "failed sign-in";
                return formPage(Mode::SignIn, request, token, email,
                                QStringLiteral("The email or password is not correct."), 401);
            }
            countAndShare(QStringLiteral("ok"), email, address);
            qCInfo(lcSignIn) << "signed in, user" << credentials->first.id;
            return finish(request, credentials->first.id, credentials->first.email, token);
        });
}

void BrowserSignIn::count(const QString& event, const QString& email, const QString& address) {
    const QString source = email + QLatin1Char('|') + address;
    if (event == QLatin1String("fail")) {
        m_failuresBySource.record(source);
        m_failuresByAddress.record(address);
        m_failuresByEmail.recordFailure(email);
    } else if (event == QLatin1String("ok")) {
        m_failuresBySource.reset(source);
        m_failuresByEmail.reset(email);
        m_failuresByAddress.forgetLatest(address);
    } else if (event == QLatin1String("sign-up")) {
        m_signUpsByAddress.record(address);
    }
}

void BrowserSignIn::countAndShare(const QString& event, const QString& email,
                                  const QString& address) {
    count(event, email, address);
    if (m_share)
        m_share(
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("instance"), m_instance},
                                                        {QStringLiteral("event"), event},
                                                        {QStringLiteral("email"), email},
                                                        {QStringLiteral("address"), address}})
                                  .toJson(QJsonDocument::Compact)));
}

void BrowserSignIn::applyShared(const QString& payload) {
    const QJsonObject shared = QJsonDocument::fromJson(payload.toUtf8()).object();
    if (shared.value(QLatin1String("instance")).toString() == m_instance)
        return;
    count(shared.value(QLatin1String("event")).toString(),
          shared.value(QLatin1String("email")).toString(),
          shared.value(QLatin1String("address")).toString());
}

HttpResponse BrowserSignIn::emailTaken(const HttpRequest& request, const QString& token,
                                       const QString& email) {
    return formPage(Mode::SignUp, request, token, email,
                    QStringLiteral("An account with this email already exists. Sign in instead."),
                    409);
}

HttpResponse BrowserSignIn::finish(const HttpRequest& request, qint64 userId, const QString& email,
                                   const QString& token) {
    const QString key = m_accounts.createDevice(userId);
    if (key.isEmpty())
        return formPage(Mode::SignIn, request, token, email,
                        QStringLiteral("Signing in failed on our side. Please try again later."),
                        500);
    QString challenge = formValue(parseForm(request.body), "challenge");
    if (!AuthChannel::isValidChallenge(challenge))
        challenge.clear();
    m_channel.deliverSignIn(token,
                            {{QStringLiteral("email"), email},
                             {QStringLiteral("id"), userId},
                             {QStringLiteral("device_key"), key}},
                            challenge);
    HttpResponse response = HttpResponse::html(renderPage(
        QStringLiteral("Signed in"),
        QLatin1String("<h1>You are signed in</h1><p class=\"lead\">Signed in as <strong>") +
            escapeHtml(email) +
            QLatin1String("</strong>.</p><p>Return to Orvane to finish setting up. You can close "
                          "this tab.</p><p class=\"success\" id=\"signed_in\">"
                          "&#10003; Orvane has been told.</p>"),
        wantsDarkTheme(request)));
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

} // namespace OrvaneServer
