#pragma once

#include "core/timer.h"
#include "service/servicebase.h"
#include "service/textsservice.h"
#include "service/userservice.h"
#include "service/websocketauthservice.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

class QCommandLineParser;
class QTimer;
struct User;

/**
 * orvane-cli: the service's operations from a terminal or a script, built on the same
 * services and the same stored settings (the signed-in user) as the desktop
 * application.
 *
 * Exit statuses: 0 success, 1 failure (message on standard error), 2 wrong usage,
 * 3 the text is too long for the service.
 */
class CliCommand final : public QObject,
                         public UserServiceDelegate,
                         public TextsServiceDelegate,
                         public WebSocketAuthServiceDelegate {
    Q_OBJECT

public:
    enum ExitStatus { success = 0, failure = 1, usage = 2, tooLong = 3 };

    explicit CliCommand(QObject* parent = nullptr);
    ~CliCommand() override;

    /**
     * Runs the command line (program name first). Returns the exit status when the
     * command is already done, or nullopt when it runs on: then it calls
     * QCoreApplication::exit with the status when it ends.
     */
    std::optional<int> start(const QStringList& arguments);

private:
    std::optional<int> login(const QStringList& arguments);
    std::optional<int> user(const QStringList& arguments);
    std::optional<int> presets(const QStringList& arguments);
    std::optional<int> run(const QStringList& arguments);
    std::optional<int> logout(const QStringList& arguments);

    /** Parses a command's options; nullopt when the command goes on, else the exit status. */
    std::optional<int> parse(QCommandLineParser& parser, const QStringList& arguments,
                             const QString& description);
    /** The stored user with a device key, or a message and nullopt. */
    std::optional<User> signedInUser();
    void finish(int status);
    void fail(const QString& message, int status = failure);

    // UserServiceDelegate
    void userFetched(const UserDto& user) override;
    void userFetchFailed(UserError error) override;
    // TextsServiceDelegate
    void didReceiveText(const QString& text) override;
    void didFinish() override;
    void didFailPromptTooLong() override;
    void didFailGeneric() override;
    // WebSocketAuthServiceDelegate
    void channelReady() override;
    void userReceived(const AuthJoinReplayDto& message) override;

    const ServiceBase m_base = ServiceBase::fromEnvironment();
    SystemTimerSource m_timers;
    std::unique_ptr<UserService> m_userService;
    std::unique_ptr<class PresetsService> m_presetsService;
    std::unique_ptr<TextsService> m_textsService;
    std::unique_ptr<LogoutService> m_logoutService;
    std::unique_ptr<WebSocketAuthService> m_authService;
    QTimer* m_timeout = nullptr;
    QString m_signInToken;
    bool m_pagePrinted = false;
    bool m_openBrowser = false;
    bool m_generationFailed = false;
    bool m_wroteText = false;
    bool m_finished = false;
};
