#pragma once

#include "service/basenetworkclient.h"
#include "service/userserviceprotocol.h"

/** The UserError that a failed user fetch reports: unknown → failedToConnect, 401 → unauthorised,
 * else generic. */
[[nodiscard]] UserError userErrorFor(NetworkError error);

/** Asks the service who holds the token (GET /api/0/user). */
class UserService final : public UserServiceProtocol, private BaseNetworkClient {
public:
    /** The delegate must outlive the service; it hears exactly one call per fetch. */
    UserService(QString token, UserServiceDelegate* delegate, const ServiceBase& base);

    void fetchUser() override;

private:
    QString m_token;
    UserServiceDelegate* m_delegate;
};

/** Tells the service that this device signs out (DELETE /api/0/devices/logout). */
class LogoutService final : public LogoutServiceProtocol, private BaseNetworkClient {
public:
    explicit LogoutService(QString token, const ServiceBase& base);

    /** Completion: true for any 2xx, otherwise the failure as sendRequestWithoutResponse maps it.
     */
    void logout(std::function<void(NetworkResult<bool>)> completion) override;

private:
    QString m_token;
};
