#include "service/userservice.h"

UserError userErrorFor(NetworkError error) {
    switch (error) {
    case NetworkError::unknown:
        return UserError::failedToConnect;
    case NetworkError::unauthorised:
        return UserError::unauthorised;
    default:
        return UserError::generic;
    }
}

UserService::UserService(QString token, UserServiceDelegate* delegate, const ServiceBase& base)
    : BaseNetworkClient(base)
    , m_token(std::move(token))
    , m_delegate(delegate) {}

void UserService::fetchUser() {
    sendRequest<UserDataDto>(UserEndpoint::show(m_token, serviceBase()),
                             [this](const NetworkResult<UserDataDto>& result) {
                                 if (!m_delegate)
                                     return;
                                 if (result.ok())
                                     m_delegate->userFetched(result.value().data);
                                 else
                                     m_delegate->userFetchFailed(userErrorFor(result.error()));
                             });
}

LogoutService::LogoutService(QString token, const ServiceBase& base)
    : BaseNetworkClient(base)
    , m_token(std::move(token)) {}

void LogoutService::logout(std::function<void(NetworkResult<bool>)> completion) {
    sendRequestWithoutResponse(LogoutEndpoint::remove(m_token, serviceBase()),
                               std::move(completion));
}
