#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

class JsonDecoder;
struct UserDto;

/** The signed-in user as the application keeps and persists it. */
struct User {
    QString email;
    qint64 userId = 0;
    /** Bearer credential of every request to the service. */
    QString deviceKey;

    /** Field by field; a device key the service did not send becomes "". */
    static User fromDto(const UserDto& dto);

    static std::optional<User> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;

    friend bool operator==(const User&, const User&) = default;
};
