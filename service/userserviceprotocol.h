#pragma once

#include "service/networkerror.h"
#include "service/userdto.h"

#include <functional>

/** Receives the outcome of a user fetch: exactly one call per fetch. */
class UserServiceDelegate {
public:
    virtual ~UserServiceDelegate() = default;
    virtual void userFetched(const UserDto& user) = 0;
    virtual void userFetchFailed(UserError error) = 0;
};

/** Asks the service who holds the token. */
class UserServiceProtocol {
public:
    virtual ~UserServiceProtocol() = default;
    /** Returns at once; the delegate hears the outcome on the main thread. */
    virtual void fetchUser() = 0;
};

/** Tells the service that this device signs out. */
class LogoutServiceProtocol {
public:
    virtual ~LogoutServiceProtocol() = default;
    /** Returns at once; completion runs on the main thread with true or the failure. */
    virtual void logout(std::function<void(NetworkResult<bool>)> completion) = 0;
};
