#include "store/userstore.h"

#include "service/userdto.h"

UserStore::UserStore(QObject* parent)
    : UserStoreProtocol(parent)
    , m_settings(std::make_unique<AppSettings>())
    , m_user(m_settings->userSettings().user)
    , m_isAuthorised(m_user.has_value()) {}

void UserStore::setUser(const std::optional<UserDto>& record) {
    if (record) {
        const User user = User::fromDto(*record);
        m_settings->setUserSettings(UserSettings{user});
        m_user = user;
        m_isAuthorised = true;
    } else {
        m_user.reset();
        m_isAuthorised = false;
        m_settings->setUserSettings(UserSettings{});
    }
    Q_EMIT changed();
}
