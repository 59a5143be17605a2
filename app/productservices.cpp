#include "app/productservices.h"

#include "service/userservice.h"
#include "store/presetstore.h"

std::unique_ptr<UserServiceProtocol>
ProductServices::makeUserService(const QString& token, UserServiceDelegate& delegate) {
    return std::make_unique<UserService>(token, &delegate);
}

std::unique_ptr<LogoutServiceProtocol> ProductServices::makeLogoutService(const QString& token) {
    return std::make_unique<LogoutService>(token);
}

std::unique_ptr<PresetStoreProtocol>
ProductServices::makePresetStore(MainCoordinatorProtocol& coordinator) {
    return std::make_unique<PresetStore>(coordinator);
}
