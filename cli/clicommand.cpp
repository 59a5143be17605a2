#include "clicommand.h"

#include "core/logging.h"
#include "core/settingsstore.h"
#include "service/presetsservice.h"
#include "service/signintoken.h"
#include "store/appsettings.h"
#include "store/userstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

const QString programName = QStringLiteral("orvane-cli");

void writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeErr(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

QString overview() {
    return QStringLiteral(
        "Usage: orvane-cli [--verbose] <command> [options]\n"
        "\n"
        "Talks to the Orvane service as the user signed in to the desktop application.\n"
        "The service is at %1 (set ORVANE_SERVICE_URL to change it).\n"
        "\n"
        "Commands:\n"
        "  login     Sign in through the browser and store the user\n"
        "  user      Show the signed-in user as the service knows it\n"
        "  presets   List the prompts: id, name, hotkey, enabled (tab-separated)\n"
        "  run       Run a prompt or a command on the text read from standard input\n"
        "  logout    Sign this device out\n"
        "\n"
        "Run 'orvane-cli <command> --help' for a command's options.\n"
        "Exit statuses: 0 success, 1 failure, 2 wrong usage, 3 text too long.\n");
}

QString describe(UserError error, const QString& service) {
    switch (error) {
    case UserError::unauthorised:
        return QStringLiteral("The service no longer accepts this device's sign-in. Run "
                              "'orvane-cli login' to sign in again.");
    case UserError::failedToConnect:
        return QStringLiteral("Cannot reach the service at %1.").arg(service);
    case UserError::generic:
        break;
    }
    return QStringLiteral("The service gave an unexpected answer.");
}

QString describe(NetworkError error, const QString& service) {
    switch (error) {
    case NetworkError::unauthorised:
        return describe(UserError::unauthorised, service);
    case NetworkError::unknown:
        return describe(UserError::failedToConnect, service);
    case NetworkError::forbidden:
        return QStringLiteral("The service refused the request (403).");
    case NetworkError::badRequest:
        return QStringLiteral("The service rejected the request as malformed (400).");
    case NetworkError::invalidUrl:
        return QStringLiteral("The service URL is not usable.");
    default:
        return describe(UserError::generic, service);
    }
}

/** One field of a tab-separated line: no tabs or line breaks inside. */
QString field(QString text) {
    text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    return text;
}

} // namespace

CliCommand::CliCommand(QObject* parent)
    : QObject(parent) {}

CliCommand::~CliCommand() = default;

std::optional<int> CliCommand::start(const QStringList& arguments) {
    QStringList rest = arguments.mid(1);
    if (rest.isEmpty()) {
        writeErr(overview().arg(m_base.isValid() ? m_base.httpUrl({}).toString() : QString()));
        return usage;
    }
    const QString command = rest.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        writeOut(overview().arg(m_base.isValid() ? m_base.httpUrl({}).toString() : QString()));
        return success;
    }
    if (command == u"--version" || command == u"-v") {
        writeOut(programName + u' ' + QCoreApplication::applicationVersion() + u'\n');
        return success;
    }

    const QStringList commandArguments = QStringList{programName + u' ' + command} + rest.mid(1);
    using Handler = std::optional<int> (CliCommand::*)(const QStringList&);
    const QList<std::pair<QString, Handler>> commands{
        {QStringLiteral("login"), &CliCommand::login},
        {QStringLiteral("user"), &CliCommand::user},
        {QStringLiteral("presets"), &CliCommand::presets},
        {QStringLiteral("run"), &CliCommand::run},
        {QStringLiteral("logout"), &CliCommand::logout}};
    for (const auto& [name, handler] : commands) {
        if (name == command)
            return (this->*handler)(commandArguments);
    }
    writeErr(QStringLiteral("orvane-cli: unknown command \"%1\"\n\n").arg(command) +
             overview().arg(m_base.isValid() ? m_base.httpUrl({}).toString() : QString()));
    return usage;
}

std::optional<int> CliCommand::parse(QCommandLineParser& parser, const QStringList& arguments,
                                     const QString& description) {
    parser.setApplicationDescription(description);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    if (!parser.parse(arguments)) {
        writeErr(programName + u": " + parser.errorText() + u'\n');
        return usage;
    }
    if (parser.isSet(help)) {
        // The usage line names the command, not the path of the executable.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(u'\n'), u"Usage: " + arguments.first() + u" [options]");
        writeOut(text);
        return success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        writeErr(QStringLiteral("%1: unexpected argument \"%2\"\n")
                     .arg(programName, parser.positionalArguments().first()));
        return usage;
    }
    if (!m_base.isValid()) {
        writeErr(QStringLiteral("%1: the service URL in ORVANE_SERVICE_URL was refused (see the "
                                "line above).\n")
                     .arg(programName));
        return failure;
    }
    return std::nullopt;
}

std::optional<User> CliCommand::signedInUser() {
    const UserStore store;
    if (!store.user() || store.user()->deviceKey.isEmpty()) {
        writeErr(QStringLiteral("Not signed in. Run 'orvane-cli login' first.\n"));
        return std::nullopt;
    }
    return store.user();
}

void CliCommand::finish(int status) {
    if (m_finished)
        return;
    m_finished = true;
    if (m_authService)
        m_authService->disconnect();
    QCoreApplication::exit(status);
}

void CliCommand::fail(const QString& message, int status) {
    if (m_finished)
        return;
    writeErr(message + u'\n');
    finish(status);
}

// login

std::optional<int> CliCommand::login(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Also open the page in the default browser."));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"), QStringLiteral("Give up after this many seconds (default 600)."),
        QStringLiteral("seconds"), QStringLiteral("600"));
    parser.addOption(open);
    parser.addOption(timeout);
    if (auto done = parse(parser, arguments,
                          QStringLiteral("Prints the browser page that signs you in, waits until "
                                         "you have signed in there, and stores the user for the "
                                         "desktop application and this tool.")))
        return done;
    bool ok = false;
    const int seconds = parser.value(timeout).toInt(&ok);
    if (!ok || seconds <= 0) {
        writeErr(
            QStringLiteral("%1: --timeout needs a positive number of seconds\n").arg(programName));
        return usage;
    }
    m_openBrowser = parser.isSet(open);

    m_signInToken = SignIn::makeToken();
    m_authService = WebSocketAuthService::create(m_signInToken, &lcWebSocket(), m_base, m_timers);
    if (!m_authService)
        return failure;
    connect(m_authService.get(), &WebSocketAuthService::connectionLost, this,
            [this](const QString& reason) {
                fail(QStringLiteral("Lost the sign-in connection to %1: %2")
                         .arg(m_authService->serverUrl().toString(), reason));
            });
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("Gave up waiting for the sign-in.")); });
    m_timeout->start(std::chrono::seconds(seconds));
    m_authService->connect(this);
    return std::nullopt;
}

void CliCommand::channelReady() {
    if (m_pagePrinted)
        return;
    m_pagePrinted = true;
    const QUrl page = SignIn::browserPageUrl(m_base, m_signInToken);
    writeOut(QStringLiteral("Open this page in your browser to sign in:\n%1\n")
                 .arg(page.toString(QUrl::FullyEncoded)));
    writeErr(QStringLiteral("The page shows the code %1; sign in only if it does.\n"
                            "Waiting for the sign-in...\n")
                 .arg(SignIn::shortCode(m_signInToken)));
    if (m_openBrowser)
        QProcess::startDetached(QStringLiteral("xdg-open"), {page.toString(QUrl::FullyEncoded)});
}

void CliCommand::userReceived(const AuthJoinReplayDto& message) {
    // Only the result for this token counts, as in the desktop sign-in.
    if (!message.topic.contains(m_signInToken))
        return;
    UserStore store;
    store.setUser(message.payload);
    writeOut(QStringLiteral("Signed in as %1.\n").arg(message.payload.email));
    finish(success);
}

// user

std::optional<int> CliCommand::user(const QStringList& arguments) {
    QCommandLineParser parser;
    if (auto done = parse(parser, arguments,
                          QStringLiteral("Asks the service who the signed-in user is and prints "
                                         "the email address and the user id.")))
        return done;
    const auto stored = signedInUser();
    if (!stored)
        return failure;
    m_userService = std::make_unique<UserService>(stored->deviceKey, this, m_base);
    m_userService->fetchUser();
    return std::nullopt;
}

void CliCommand::userFetched(const UserDto& user) {
    writeOut(QStringLiteral("email: %1\nid: %2\n").arg(user.email).arg(user.userId));
    finish(success);
}

void CliCommand::userFetchFailed(UserError error) {
    fail(describe(error, m_base.httpUrl({}).toString()));
}

// presets

std::optional<int> CliCommand::presets(const QStringList& arguments) {
    QCommandLineParser parser;
    if (auto done = parse(parser, arguments,
                          QStringLiteral("Lists the prompts, one line each with tab-separated "
                                         "fields: id, name, hotkey (\"-\" for none) and whether "
                                         "the prompt is enabled (\"yes\" or \"no\").")))
        return done;
    const auto stored = signedInUser();
    if (!stored)
        return failure;
    m_presetsService = std::make_unique<PresetsService>(stored->deviceKey, m_base);
    m_presetsService->presetsResult([this](const NetworkResult<QList<PresetDto>>& result) {
        if (!result.ok()) {
            fail(describe(result.error(), m_base.httpUrl({}).toString()));
            return;
        }
        // Enabled as the desktop decides it: the stored choice, else the service's default.
        const QList<qint64> enabledIds = AppSettings().presetsSettings().presetIds;
        QString lines;
        for (const PresetDto& preset : result.value()) {
            const bool enabled =
                enabledIds.isEmpty() ? preset.enabledByDefault : enabledIds.contains(preset.id);
            lines += QStringLiteral("%1\t%2\t%3\t%4\n")
                         .arg(preset.id)
                         .arg(field(preset.name),
                              preset.hotkey.isEmpty() ? QStringLiteral("-") : field(preset.hotkey),
                              enabled ? QStringLiteral("yes") : QStringLiteral("no"));
        }
        writeOut(lines);
        finish(success);
    });
    return std::nullopt;
}

// run

std::optional<int> CliCommand::run(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption preset(QStringLiteral("preset"),
                                    QStringLiteral("Run the prompt with this id."),
                                    QStringLiteral("id"));
    const QCommandLineOption command(QStringLiteral("command"),
                                     QStringLiteral("Run this free-form instruction."),
                                     QStringLiteral("text"));
    parser.addOption(preset);
    parser.addOption(command);
    if (auto done = parse(parser, arguments,
                          QStringLiteral("Reads the text from standard input, sends it with a "
                                         "prompt or a command, and writes the answer to standard "
                                         "output as it arrives. Exit status 3 when the text is "
                                         "too long for the service.")))
        return done;
    if (parser.isSet(preset) == parser.isSet(command)) {
        writeErr(QStringLiteral("%1: give exactly one of --preset ID and --command TEXT\n")
                     .arg(programName));
        return usage;
    }
    bool ok = true;
    const qint64 presetId = parser.isSet(preset) ? parser.value(preset).toLongLong(&ok) : 0;
    if (!ok) {
        writeErr(QStringLiteral("%1: --preset needs a numeric prompt id\n").arg(programName));
        return usage;
    }
    const auto stored = signedInUser();
    if (!stored)
        return failure;

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        writeErr(QStringLiteral("Cannot read standard input.\n"));
        return failure;
    }
    const QString text = QString::fromUtf8(input.readAll());

    m_textsService = std::make_unique<TextsService>(stored->deviceKey, m_base);
    if (parser.isSet(preset))
        m_textsService->sendPreset(presetId, text, {}, this);
    else
        m_textsService->sendCommand(parser.value(command), text, {}, this);
    return std::nullopt;
}

void CliCommand::didReceiveText(const QString& text) {
    m_wroteText = m_wroteText || !text.isEmpty();
    writeOut(text);
}

void CliCommand::didFinish() {
    // A terminal gets the prompt on a line of its own; a pipe gets the answer as it is.
    if (m_wroteText && isatty(STDOUT_FILENO))
        writeOut(QStringLiteral("\n"));
    if (m_generationFailed)
        fail(QStringLiteral(
                 "The answer could not be generated (the service failed, cut the "
                 "answer short, or could not be reached at %1). Run with --verbose for details.")
                 .arg(m_base.httpUrl({}).toString()));
    else
        finish(success);
}

void CliCommand::didFailPromptTooLong() {
    fail(QStringLiteral("The text is too long for the service."), tooLong);
}

void CliCommand::didFailGeneric() {
    m_generationFailed = true; // didFinish follows and reports it
}

// logout

std::optional<int> CliCommand::logout(const QStringList& arguments) {
    QCommandLineParser parser;
    if (auto done = parse(parser, arguments,
                          QStringLiteral("Tells the service that this device signs out, then "
                                         "forgets the stored user. If the service cannot be "
                                         "told, you stay signed in.")))
        return done;
    const auto stored = signedInUser();
    if (!stored)
        return failure;
    m_logoutService = std::make_unique<LogoutService>(stored->deviceKey, m_base);
    m_logoutService->logout([this](const NetworkResult<bool>& result) {
        if (!result.ok()) {
            fail(describe(result.error(), m_base.httpUrl({}).toString()) +
                 QStringLiteral(" You stay signed in."));
            return;
        }
        UserStore store;
        store.setUser(std::nullopt);
        writeOut(QStringLiteral("Signed out.\n"));
        finish(success);
    });
    return std::nullopt;
}
