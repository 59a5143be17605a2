#include "service/channeldto.h"

#include "core/jsondecoder.h"

#include <QJsonDocument>

#include <array>
#include <utility>

namespace {

/**
 * A reply's "ref": our own server sends numbers, stock Phoenix servers echo the string
 * the client sent; both name the same ref.
 */
qint64 decodeRef(JsonDecoder& decoder) {
    const QJsonValue value = decoder.object().value(QStringLiteral("ref"));
    if (value.isString()) {
        bool whole = false;
        const qint64 ref = value.toString().toLongLong(&whole);
        if (whole && ref >= 0)
            return ref;
    }
    return decoder.integer(QStringLiteral("ref"));
}

constexpr std::array<std::pair<EventEnum, const char16_t*>, 10> eventNames{{
    {EventEnum::join, u"phx_join"},
    {EventEnum::replay, u"phx_reply"},
    {EventEnum::ping, u"ping"},
    {EventEnum::pong, u"pong"},
    {EventEnum::create, u"create"},
    {EventEnum::processing, u"processing"},
    {EventEnum::finished, u"finished"},
    {EventEnum::updated, u"updated"},
    {EventEnum::stats, u"stats"},
    {EventEnum::loggedIn, u"logged_in"},
}};

constexpr std::array<std::pair<StatusEnum, const char16_t*>, 3> statusNames{{
    {StatusEnum::ok, u"ok"},
    {StatusEnum::error, u"error"},
    {StatusEnum::created, u"created"},
}};

template <typename Enum, std::size_t N>
QString nameOf(const std::array<std::pair<Enum, const char16_t*>, N>& table, Enum value) {
    for (const auto& [candidate, name] : table) {
        if (candidate == value)
            return QString::fromUtf16(name);
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, const char16_t*>, N>& table,
                            const QString& raw) {
    for (const auto& [value, name] : table) {
        if (raw == QStringView(name))
            return value;
    }
    return std::nullopt;
}

/** Reads a required string member that must be one raw value of an enumeration. */
template <typename Enum>
Enum decodeEnum(JsonDecoder& decoder, const QString& key,
                std::optional<Enum> (*fromRaw)(const QString&), const char* enumName) {
    const QString raw = decoder.string(key);
    if (!decoder.ok())
        return Enum{};
    const std::optional<Enum> value = fromRaw(raw);
    if (!value) {
        decoder.fail(QStringLiteral("dataCorrupted: cannot initialize %1 from invalid value "
                                    "\"%2\" for key \"%3\"")
                         .arg(QString::fromLatin1(enumName), raw, key));
        return Enum{};
    }
    return *value;
}

EventEnum decodeEvent(JsonDecoder& decoder) {
    return decodeEnum(decoder, QStringLiteral("event"), &eventFromRawValue, "EventEnum");
}

StatusEnum decodeStatus(JsonDecoder& decoder) {
    return decodeEnum(decoder, QStringLiteral("status"), &statusFromRawValue, "StatusEnum");
}

/** Decodes the object under key with Nested::decode; the nested failure becomes ours. */
template <typename Nested>
std::optional<Nested> decodeNested(JsonDecoder& decoder, const QString& key) {
    JsonDecoder inner = decoder.nested(key);
    std::optional<Nested> value;
    if (inner.ok())
        value = Nested::decode(inner);
    decoder.absorb(inner);
    if (!decoder.ok())
        return std::nullopt;
    return value;
}

QJsonObject envelope(const QString& topic, EventEnum event, const QJsonObject& payload,
                     qint64 ref) {
    return {{QStringLiteral("topic"), topic},
            {QStringLiteral("event"), rawValue(event)},
            {QStringLiteral("payload"), payload},
            {QStringLiteral("ref"), ref}};
}

} // namespace

QString rawValue(EventEnum value) {
    return nameOf(eventNames, value);
}

QString rawValue(StatusEnum value) {
    return nameOf(statusNames, value);
}

QString rawValue(PongEnum /*value*/) {
    return QStringLiteral("pong");
}

std::optional<EventEnum> eventFromRawValue(const QString& raw) {
    return valueOf(eventNames, raw);
}

std::optional<StatusEnum> statusFromRawValue(const QString& raw) {
    return valueOf(statusNames, raw);
}

std::optional<PongEnum> pongFromRawValue(const QString& raw) {
    if (raw == u"pong")
        return PongEnum::pong;
    return std::nullopt;
}

std::optional<EmptyPayloadDto> EmptyPayloadDto::decode(JsonDecoder& decoder) {
    if (!decoder.ok())
        return std::nullopt;
    return EmptyPayloadDto{};
}

std::optional<EmptyResponseDto> EmptyResponseDto::decode(JsonDecoder& decoder) {
    if (!decoder.ok())
        return std::nullopt;
    return EmptyResponseDto{};
}

AuthJoinDto AuthJoinDto::forTopic(QString topic) {
    AuthJoinDto dto;
    dto.topic = std::move(topic);
    return dto;
}

PingDto PingDto::forTopic(QString topic) {
    PingDto dto;
    dto.topic = std::move(topic);
    return dto;
}

QJsonObject AuthJoinDto::toJson() const {
    return envelope(topic, event, payload.toJson(), ref);
}

QJsonObject PingDto::toJson() const {
    return envelope(topic, event, payload.toJson(), ref);
}

std::optional<PongPayloadDto> PongPayloadDto::decode(JsonDecoder& decoder) {
    PongPayloadDto dto;
    dto.response = decodeEnum(decoder, QStringLiteral("response"), &pongFromRawValue, "PongEnum");
    dto.status = decodeStatus(decoder);
    if (!decoder.ok())
        return std::nullopt;
    return dto;
}

std::optional<PongDto> PongDto::decode(JsonDecoder& decoder) {
    PongDto dto;
    dto.event = decodeEvent(decoder);
    const auto payload = decodeNested<PongPayloadDto>(decoder, QStringLiteral("payload"));
    dto.ref = decodeRef(decoder);
    dto.topic = decoder.string(QStringLiteral("topic"));
    if (!decoder.ok() || !payload)
        return std::nullopt;
    dto.payload = *payload;
    return dto;
}

std::optional<AuthJoinConnectPayloadDto> AuthJoinConnectPayloadDto::decode(JsonDecoder& decoder) {
    AuthJoinConnectPayloadDto dto;
    const auto response = decodeNested<EmptyResponseDto>(decoder, QStringLiteral("response"));
    dto.status = decodeStatus(decoder);
    if (!decoder.ok() || !response)
        return std::nullopt;
    return dto;
}

std::optional<AuthJoinConnectDto> AuthJoinConnectDto::decode(JsonDecoder& decoder) {
    AuthJoinConnectDto dto;
    dto.event = decodeEvent(decoder);
    const auto payload =
        decodeNested<AuthJoinConnectPayloadDto>(decoder, QStringLiteral("payload"));
    dto.ref = decodeRef(decoder);
    dto.topic = decoder.string(QStringLiteral("topic"));
    if (!decoder.ok() || !payload)
        return std::nullopt;
    dto.payload = *payload;
    return dto;
}

std::optional<AuthJoinReplayDto> AuthJoinReplayDto::decode(JsonDecoder& decoder) {
    AuthJoinReplayDto dto;
    dto.event = decodeEvent(decoder);
    const auto payload = decodeNested<UserDto>(decoder, QStringLiteral("payload"));
    dto.topic = decoder.string(QStringLiteral("topic"));
    if (!decoder.ok() || !payload)
        return std::nullopt;
    dto.payload = *payload;
    return dto;
}

template <typename Message>
DecodedMessage<Message> decodeMessage(const QString& text) {
    DecodedMessage<Message> result;
    if (!QStringView(text).isValidUtf16()) {
        result.error = QStringLiteral("Error Domain=JSONDecoding Code=0");
        return result;
    }
    JsonDecoder decoder =
        JsonDecoder::fromJson(text.toUtf8(), QString::fromLatin1(Message::typeName));
    if (decoder.ok())
        result.message = Message::decode(decoder);
    if (!result.message)
        result.error = decoder.ok() ? QStringLiteral("%1: could not be decoded")
                                          .arg(QString::fromLatin1(Message::typeName))
                                    : decoder.error();
    return result;
}

template DecodedMessage<PongDto> decodeMessage<PongDto>(const QString&);
template DecodedMessage<AuthJoinConnectDto> decodeMessage<AuthJoinConnectDto>(const QString&);
template DecodedMessage<AuthJoinReplayDto> decodeMessage<AuthJoinReplayDto>(const QString&);
template DecodedMessage<UserDto> decodeMessage<UserDto>(const QString&);

QByteArray encodeMessage(const QJsonObject& message) {
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}
