#pragma once

#include "app/coordinatorservices.h"
#include "service/servicebase.h"

/** The real services: HTTP to the configured orvane-service. */
class ProductServices final : public CoordinatorServicesProtocol {
public:
    explicit ProductServices(const ServiceBase& base)
        : m_base(base) {}

    std::unique_ptr<UserServiceProtocol> makeUserService(const QString& token,
                                                         UserServiceDelegate& delegate) override;
    std::unique_ptr<LogoutServiceProtocol> makeLogoutService(const QString& token) override;

private:
    const ServiceBase& m_base;
};
