#pragma once

#include "service/userdto.h"

#include <QJsonObject>
#include <QString>

#include <optional>

class JsonDecoder;

/** The channel protocol's event names; the raw value travels on the wire. */
enum class EventEnum {
    join,
    replay,
    ping,
    pong,
    create,
    processing,
    finished,
    updated,
    stats,
    loggedIn
};

/** Status of a reply. */
enum class StatusEnum { ok, error, created };

/** The answer to a ping. */
enum class PongEnum { pong };

[[nodiscard]] QString rawValue(EventEnum value);
[[nodiscard]] QString rawValue(StatusEnum value);
[[nodiscard]] QString rawValue(PongEnum value);
[[nodiscard]] std::optional<EventEnum> eventFromRawValue(const QString& raw);
[[nodiscard]] std::optional<StatusEnum> statusFromRawValue(const QString& raw);
[[nodiscard]] std::optional<PongEnum> pongFromRawValue(const QString& raw);

/** Encodes as {} and decodes from any JSON object. */
struct EmptyPayloadDto {
    static constexpr const char* typeName = "EmptyPayloadDto";
    static std::optional<EmptyPayloadDto> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const { return {}; }
    friend bool operator==(const EmptyPayloadDto&, const EmptyPayloadDto&) = default;
};

/** Decodes from any JSON object (its keys are ignored) and encodes as {}. */
struct EmptyResponseDto {
    static constexpr const char* typeName = "EmptyResponseDto";
    static std::optional<EmptyResponseDto> decode(JsonDecoder& decoder);
    [[nodiscard]] QJsonObject toJson() const { return {}; }
    friend bool operator==(const EmptyResponseDto&, const EmptyResponseDto&) = default;
};

/** Sent: joins a channel. {"topic", "event": "phx_join", "payload": {}, "ref": 0}. */
struct AuthJoinDto {
    QString topic;
    EventEnum event = EventEnum::join;
    EmptyPayloadDto payload;
    qint64 ref = 0;

    /** The join of a channel: event join, payload {}, ref 0. */
    static AuthJoinDto forTopic(QString topic);
    [[nodiscard]] QJsonObject toJson() const;
};

/** Sent: the heartbeat, same shape as the join with event "ping". */
struct PingDto {
    QString topic;
    EventEnum event = EventEnum::ping;
    EmptyPayloadDto payload;
    qint64 ref = 0;

    /** The heartbeat of a channel: event ping, payload {}, ref 0. */
    static PingDto forTopic(QString topic);
    [[nodiscard]] QJsonObject toJson() const;
};

struct PongPayloadDto {
    static constexpr const char* typeName = "PongPayloadDto";
    PongEnum response = PongEnum::pong;
    StatusEnum status = StatusEnum::ok;

    static std::optional<PongPayloadDto> decode(JsonDecoder& decoder);
};

/** Received: the heartbeat answer; every key required. */
struct PongDto {
    static constexpr const char* typeName = "PongDto";
    EventEnum event = EventEnum::replay;
    PongPayloadDto payload;
    qint64 ref = 0;
    QString topic;

    static std::optional<PongDto> decode(JsonDecoder& decoder);
};

struct AuthJoinConnectPayloadDto {
    static constexpr const char* typeName = "AuthJoinConnectPayloadDto";
    EmptyResponseDto response;
    StatusEnum status = StatusEnum::ok;

    static std::optional<AuthJoinConnectPayloadDto> decode(JsonDecoder& decoder);
};

/** Received: the reply to the join; every key required. */
struct AuthJoinConnectDto {
    static constexpr const char* typeName = "AuthJoinConnectDto";
    EventEnum event = EventEnum::replay;
    AuthJoinConnectPayloadDto payload;
    qint64 ref = 0;
    QString topic;

    static std::optional<AuthJoinConnectDto> decode(JsonDecoder& decoder);
};

/** Received: the signed-in user; every key required, and there is no "ref". */
struct AuthJoinReplayDto {
    static constexpr const char* typeName = "AuthJoinReplayDto";
    EventEnum event = EventEnum::loggedIn;
    UserDto payload;
    QString topic;

    static std::optional<AuthJoinReplayDto> decode(JsonDecoder& decoder);
};

/** Outcome of decoding a received text: the message, or the decoder's description. */
template <typename Message>
struct DecodedMessage {
    std::optional<Message> message;
    QString error;
};

/**
 * Decodes a received text as Message: the text's UTF-8 bytes (a text that has none,
 * such as one holding a lone surrogate, fails with "JSONDecoding" code 0) parsed as a
 * JSON object and read strictly.
 */
template <typename Message>
DecodedMessage<Message> decodeMessage(const QString& text);

/** The compact UTF-8 JSON of an outgoing message. */
[[nodiscard]] QByteArray encodeMessage(const QJsonObject& message);
