#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

class JsonDecoder;

/** The user as the service sends it: in the user answer and in the sign-in message. */
struct UserDto {
    static constexpr const char* typeName = "UserDto";
    QString email;
    qint64 userId = 0;
    std::optional<QString> deviceKey;

    static std::optional<UserDto> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const;

    friend bool operator==(const UserDto&, const UserDto&) = default;
};

/** Body of the user answer: {"data": UserDto}. */
struct UserDataDto {
    static constexpr const char* typeName = "UserDataDto";
    UserDto data;

    static std::optional<UserDataDto> decode(JsonDecoder& decoder);
};
