#include "app/productservices.h"

#include "service/userservice.h"

std::unique_ptr<UserServiceProtocol>
ProductServices::makeUserService(const QString& token, UserServiceDelegate& delegate) {
    return std::make_unique<UserService>(token, &delegate, m_base);
}

std::unique_ptr<LogoutServiceProtocol> ProductServices::makeLogoutService(const QString& token) {
    return std::make_unique<LogoutService>(token, m_base);
}
