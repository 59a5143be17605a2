#pragma once

#include <QString>

#include <memory>

class LogoutServiceProtocol;
class UserServiceDelegate;
class UserServiceProtocol;

/** Where the coordinator gets the services it creates per use. */
class CoordinatorServicesProtocol {
public:
    virtual ~CoordinatorServicesProtocol() = default;

    [[nodiscard]] virtual std::unique_ptr<UserServiceProtocol>
    makeUserService(const QString& token, UserServiceDelegate& delegate) = 0;
    [[nodiscard]] virtual std::unique_ptr<LogoutServiceProtocol>
    makeLogoutService(const QString& token) = 0;
};
