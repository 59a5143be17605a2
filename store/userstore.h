#pragma once

#include "store/appsettings.h"
#include "store/user.h"

#include <QObject>

#include <memory>
#include <optional>

struct UserDto;

/** The signed-in user for the whole application; one instance lives for the whole run. */
class UserStoreProtocol : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual const std::optional<User>& user() const = 0;
    [[nodiscard]] virtual bool isAuthorised() const = 0;
    /** Signs the given user in (persisting it), or signs out with nullopt; emits changed(). */
    virtual void setUser(const std::optional<UserDto>& record) = 0;

    /** The credential of every request; empty while nobody is signed in. */
    [[nodiscard]] QString deviceKey() const { return user() ? user()->deviceKey : QString(); }

Q_SIGNALS:
    /** Somebody signed in or out, or the record was refreshed. */
    void changed();
};

class UserStore final : public UserStoreProtocol {
    Q_OBJECT

public:
    /** Starts in whichever state the stored "UserSettings" gives. */
    explicit UserStore(QObject* parent = nullptr);

    const std::optional<User>& user() const override { return m_user; }
    bool isAuthorised() const override { return m_isAuthorised; }
    void setUser(const std::optional<UserDto>& record) override;

private:
    std::unique_ptr<AppSettings> m_settings;
    std::optional<User> m_user;
    bool m_isAuthorised = false;
};
