#pragma once

#include "app/coordinatorservices.h"

/** The real services: HTTP to the configured orvane-service. */
class ProductServices final : public CoordinatorServicesProtocol {
public:
    std::unique_ptr<UserServiceProtocol> makeUserService(const QString& token,
                                                         UserServiceDelegate& delegate) override;
    std::unique_ptr<LogoutServiceProtocol> makeLogoutService(const QString& token) override;
    std::unique_ptr<PresetStoreProtocol>
    makePresetStore(MainCoordinatorProtocol& coordinator) override;
};
