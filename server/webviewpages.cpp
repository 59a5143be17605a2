#include "webviewpages.h"

#include "httpserver.h"
#include "pagerenderer.h"
#include "presetrepository.h"
#include "secrets.h"

#include <QDateTime>
#include <QUrlQuery>

namespace OrvaneServer {

namespace {

constexpr qsizetype MaxReportChars = 20000;
constexpr qint64 ReportTokenSeconds = 24 * 60 * 60;

HttpResponse page(const HttpRequest& request, const QString& title, const QString& content,
                  int status = 200, const QString& script = {}) {
    HttpResponse response =
        HttpResponse::html(renderPage(title, content, wantsDarkTheme(request), script), status);
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

HttpResponse signedOut(const HttpRequest& request) {
    return page(request, QStringLiteral("Not signed in"),
                QStringLiteral("<h1>You are not signed in</h1><p>Sign in to Orvane to see this "
                               "page.</p>"),
                401);
}

HttpResponse login(const HttpRequest& request) {
    return page(request, QStringLiteral("Welcome"),
                QStringLiteral(
                    "<h1>Welcome to Orvane</h1>"
                    "<p class=\"lead\">Select text in any application, press your hotkey and let "
                    "Orvane fix, rewrite, shorten or translate it for you.</p>"
                    "<p>Sign in or create an account in your browser; Orvane picks up the "
                    "result on its own.</p>"
                    "<div class=\"actions\"><button id=\"sign_in\">Sign in</button>"
                    "<button id=\"sign_up\" class=\"secondary\">Create account</button></div>"));
}

HttpResponse continueInBrowser(const HttpRequest& request) {
    return page(
        request, QStringLiteral("Continue in your browser"),
        QStringLiteral("<h1>Continue in your browser</h1>"
                       "<p class=\"lead\">We opened a page in your web browser. Sign in there and "
                       "come back: this window moves on by itself.</p>"
                       "<p>No page opened, or you closed it?</p>"
                       "<div class=\"actions\"><button id=\"sign_in\" class=\"secondary\">Open the "
                       "browser again</button></div>"));
}

HttpResponse welcome(const HttpRequest& request) {
    return page(
        request, QStringLiteral("One more step"),
        QStringLiteral(
            "<h1>One more step: allow input</h1>"
            "<p class=\"lead\">Orvane copies your selection and pastes the answer back by sending "
            "key presses to the application you are working in.</p>"
            "<p>Your desktop has to allow that synthetic input:</p>"
            "<ol><li>Open the settings with the button below.</li>"
            "<li>Allow Orvane to send keyboard input (on X11 this usually needs nothing; "
            "some desktops ask for an accessibility or remote-input permission).</li>"
            "<li>Come back here: this page moves on as soon as input is allowed.</li></ol>"
            "<div class=\"actions\"><button id=\"show_settings\">Open settings</button></div>"));
}

HttpResponse finish(const HttpRequest& request) {
    return page(
        request, QStringLiteral("Ready"),
        QStringLiteral("<h1>You are all set</h1>"
                       "<p class=\"lead\">Select text anywhere and press your hotkey to open "
                       "Orvane.</p><p>Choose which prompts appear, and their hotkeys, in the "
                       "settings.</p>"
                       "<div class=\"actions\"><button id=\"start\">Start writing</button>"
                       "<button id=\"settings\" class=\"secondary\">Open settings</button></div>"));
}

} // namespace

WebViewPages::WebViewPages(AccountStore& accounts, const Database& database)
    : m_accounts(accounts)
    , m_database(database)
    , m_secret(Secrets::randomBytes(32)) {}

void WebViewPages::registerRoutes(HttpServer& server) {
    server.route("GET", QStringLiteral("/web_view/login"), login);
    server.route("GET", QStringLiteral("/web_view/continue"), continueInBrowser);
    server.route("GET", QStringLiteral("/web_view/welcome"), welcome);
    server.route("GET", QStringLiteral("/web_view/finish"), finish);
    server.route("GET", QStringLiteral("/web_view/account"),
                 [this](const HttpRequest& r) { return account(r); });
    server.route("GET", QStringLiteral("/web_view/new_report"),
                 [this](const HttpRequest& r) { return reportForm(r); });
    server.route("POST", QStringLiteral("/web_view/new_report"),
                 [this](const HttpRequest& r) { return submitReport(r); });
    server.route("GET", QStringLiteral("/web_view/help"),
                 [this](const HttpRequest& r) { return help(r); });
}

std::optional<UserRecord> WebViewPages::userOf(const HttpRequest& request) {
    return m_accounts.userForDeviceKey(request.bearerToken());
}

HttpResponse WebViewPages::account(const HttpRequest& request) {
    const std::optional<UserRecord> user = userOf(request);
    if (!user)
        return signedOut(request);
    return page(request, QStringLiteral("Account"),
                QLatin1String("<h1>Your account</h1><div class=\"field\"><span>Email</span>"
                              "<span id=\"email\">") +
                    escapeHtml(user->email) +
                    QLatin1String("</span></div><p style=\"margin-top:14px\">Signing out "
                                  "removes this device's access; your prompts stay with your "
                                  "account.</p><div class=\"actions\"><button id=\"logout\" "
                                  "class=\"danger\">Sign out</button></div>"));
}

QByteArray WebViewPages::reportToken(qint64 userId, qint64 expires,
                                     const QByteArray& deviceHash) const {
    // Bound to the device that opened the form: signing it out voids the form too.
    const QByteArray payload =
        QByteArray::number(userId) + '.' + QByteArray::number(expires) + '.' + deviceHash;
    return payload + '.' +
           Secrets::hmac(m_secret, payload)
               .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

HttpResponse WebViewPages::reportForm(const HttpRequest& request) {
    const std::optional<UserRecord> user = userOf(request);
    if (!user)
        return signedOut(request);
    const qint64 expires = QDateTime::currentSecsSinceEpoch() + ReportTokenSeconds;
    // The web view sends the credential only with the page request, so the form carries a
    // signed token of its own; it also protects the form against cross-site posts. The button
    // reloads the page at once, hence the keepalive request instead of a plain form post.
    const QString script = QStringLiteral(
        "document.getElementById('report_form').addEventListener('submit', function (e) {"
        " e.preventDefault();"
        " var body = new URLSearchParams(new FormData(e.target));"
        " fetch(e.target.action, {method: 'POST', body: body, keepalive: true});"
        " e.target.innerHTML = '<p class=\"success\">Thank you, your report was sent.</p>';"
        "});");
    return page(
        request, QStringLiteral("Report a problem"),
        QLatin1String("<h1>Report a problem</h1><p>Tell us what happened and what you "
                      "expected. Please leave out anything confidential.</p>"
                      "<form id=\"report_form\" method=\"post\" "
                      "action=\"/web_view/new_report\"><input type=\"hidden\" "
                      "name=\"report_token\" value=\"") +
            QString::fromLatin1(reportToken(
                user->id, expires, Secrets::deviceKeyHash(request.bearerToken()).toLatin1())) +
            QLatin1String("\"><label>What went wrong?<textarea name=\"body\" "
                          "required maxlength=\"20000\"></textarea></label>"
                          "<div class=\"actions\"><button id=\"send_report\" "
                          "type=\"submit\">Send report</button></div></form>"),
        200, script);
}

HttpResponse WebViewPages::submitReport(const HttpRequest& request) {
    QByteArray normalized = request.body;
    normalized.replace('+', ' ');
    const QUrlQuery form(QString::fromUtf8(normalized));
    const QByteArray token =
        form.queryItemValue(QStringLiteral("report_token"), QUrl::FullyDecoded).toLatin1();
    const QString body = form.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).trimmed();

    const QList<QByteArray> parts = token.split('.');
    const bool valid =
        parts.size() == 4 &&
        Secrets::equalInConstantTime(
            reportToken(parts.at(0).toLongLong(), parts.at(1).toLongLong(), parts.at(2)), token) &&
        parts.at(1).toLongLong() >= QDateTime::currentSecsSinceEpoch() &&
        m_accounts.hasDeviceWithHash(QString::fromLatin1(parts.at(2)));
    if (!valid)
        return page(request, QStringLiteral("Report not sent"),
                    QStringLiteral("<h1>This form has expired</h1><p>Open the report page again "
                                   "and resend your report.</p>"),
                    403);
    if (body.isEmpty() || body.size() > MaxReportChars || !isStorableText(body))
        return page(request, QStringLiteral("Report not sent"),
                    QStringLiteral("<h1>Nothing to send</h1><p>Please describe the problem (up "
                                   "to 20,000 characters).</p>"),
                    400);
    if (!storeReport(m_database, parts.at(0).toLongLong(), body))
        return page(request, QStringLiteral("Report not sent"),
                    QStringLiteral("<h1>Your report could not be stored</h1><p>Please try again "
                                   "later.</p>"),
                    500);
    return page(request, QStringLiteral("Report sent"),
                QStringLiteral("<h1>Thank you</h1><p class=\"success\">Your report was sent.</p>"));
}

HttpResponse WebViewPages::help(const HttpRequest& request) {
    const QString hotkey = QString::fromUtf8(request.header("window-hotkey")).trimmed();
    const QString hotkeyHtml =
        hotkey.isEmpty() ? QStringLiteral("your Orvane hotkey (set it in the settings)")
                         : QLatin1String("<kbd id=\"window_hotkey\">") +
                               escapeHtml(hotkeyDisplayText(hotkey)) + QLatin1String("</kbd>");
    return page(
        request, QStringLiteral("Help"),
        QLatin1String("<h1>How to use Orvane</h1><ol>"
                      "<li>Select text in any application.</li><li>Press ") +
            hotkeyHtml +
            QLatin1String(".</li><li>Pick a prompt, or type what you want done and press "
                          "Return.</li><li>When the answer is ready, replace the selection, insert "
                          "the answer below it, copy it or try again.</li></ol>"
                          "<p>Prompts with a hotkey of their own run straight away, without "
                          "opening the list. Keep asking in the same window to refine the "
                          "answer: Orvane remembers the conversation until you close it.</p>"
                          "<div class=\"actions\"><button id=\"start\">Try it now</button></div>"));
}

} // namespace OrvaneServer
