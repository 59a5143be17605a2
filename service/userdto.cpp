#include "service/userdto.h"

#include "core/jsondecoder.h"

std::optional<UserDto> UserDto::decode(JsonDecoder& decoder) {
    UserDto dto;
    dto.email = decoder.string(QStringLiteral("email"));
    dto.userId = decoder.integer(QStringLiteral("id"));
    dto.deviceKey = decoder.optionalString(QStringLiteral("device_key"));
    if (!decoder.ok())
        return std::nullopt;
    return dto;
}

QJsonObject UserDto::toJson() const {
    QJsonObject json{{QStringLiteral("email"), email}, {QStringLiteral("id"), userId}};
    if (deviceKey)
        json.insert(QStringLiteral("device_key"), *deviceKey);
    return json;
}

std::optional<UserDataDto> UserDataDto::decode(JsonDecoder& decoder) {
    JsonDecoder data = decoder.nested(QStringLiteral("data"));
    auto user = UserDto::decode(data);
    decoder.absorb(data);
    if (!user || !decoder.ok())
        return std::nullopt;
    return UserDataDto{*user};
}
