#include "store/user.h"

#include "core/jsondecoder.h"
#include "service/userdto.h"

User User::fromDto(const UserDto& dto) {
    return {dto.email, dto.userId, dto.deviceKey.value_or(QString())};
}

std::optional<User> User::decode(JsonDecoder& decoder) {
    User user;
    user.email = decoder.string(QStringLiteral("email"));
    user.userId = decoder.integer(QStringLiteral("userId"));
    user.deviceKey = decoder.string(QStringLiteral("deviceKey"));
    if (!decoder.ok())
        return std::nullopt;
    return user;
}

QJsonObject User::toJson() const {
    return {{QStringLiteral("email"), email},
            {QStringLiteral("userId"), userId},
            {QStringLiteral("deviceKey"), deviceKey}};
}
