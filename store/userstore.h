#pragma once

#include "store/appsettings.h"
#include "store/user.h"

#include <memory>
#include <optional>

struct UserDto;

/** The signed-in user for the whole application. */
class UserStoreProtocol {
public:
    virtual ~UserStoreProtocol() = default;
    [[nodiscard]] virtual const std::optional<User>& user() const = 0;
    [[nodiscard]] virtual bool isAuthorised() const = 0;
    /** Signs the given user in (persisting it), or signs out with nullopt. */
    virtual void setUser(const std::optional<UserDto>& record) = 0;
};

class UserStore final : public UserStoreProtocol {
public:
    /** Starts in whichever state the stored "UserSettings" gives. */
    UserStore();

    const std::optional<User>& user() const override { return m_user; }
    bool isAuthorised() const override { return m_isAuthorised; }
    void setUser(const std::optional<UserDto>& record) override;

private:
    std::unique_ptr<AppSettings> m_settings;
    std::optional<User> m_user;
    bool m_isAuthorised = false;
};
