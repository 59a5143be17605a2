#include "core/jsondecoder.h"
#include "service/channeldto.h"
#include "service/presetdto.h"
#include "service/presetsservice.h"
#include "service/textsservice.h"
#include "service/userdto.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

template <typename T>
std::optional<T> decodeJson(const QByteArray& json) {
    JsonDecoder decoder = JsonDecoder::fromJson(json, QString::fromLatin1(T::typeName));
    if (!decoder.ok())
        return std::nullopt;
    return T::decode(decoder);
}

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

const QByteArray presetJson =
    R"({"hotkey":"command+option+1","id":7,"name":"Fix","global":true,"temperature":0.7,)"
    R"("system_message":"You fix.","user_message":"Fix this:","enabled_by_default":true})";

} // namespace

class TestDto : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void joinAndPingEncodeExactly() {
        const QJsonObject join =
            parse(encodeMessage(AuthJoinDto::forTopic(u"auth:T0k"_s).toJson()));
        QCOMPARE(join, (QJsonObject{{u"topic"_s, u"auth:T0k"_s},
                                    {u"event"_s, u"phx_join"_s},
                                    {u"payload"_s, QJsonObject{}},
                                    {u"ref"_s, 0}}));
        QCOMPARE(join.keys().size(), 4);
        const QJsonObject ping = parse(encodeMessage(PingDto::forTopic(u"auth:T0k"_s).toJson()));
        QCOMPARE(ping, (QJsonObject{{u"topic"_s, u"auth:T0k"_s},
                                    {u"event"_s, u"ping"_s},
                                    {u"payload"_s, QJsonObject{}},
                                    {u"ref"_s, 0}}));
        // "ref" is an integer on the wire, not 0.0.
        QVERIFY(encodeMessage(PingDto::forTopic(u"x"_s).toJson()).contains("\"ref\":0"));
    }

    // Which received shapes decode as which message.
    void channelMessages_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("decodesAs"); // pong, joinReply, signInResult or none
        const auto row = [](const char* name, const char* decodesAs, const char* json) {
            QTest::newRow(name) << QByteArray(json) << QString::fromLatin1(decodesAs);
        };
        row("pong", "pong",
            R"({"event":"phx_reply","payload":{"response":"pong","status":"ok"},"ref":0,"topic":"auth:abc"})");
        row("pong-extra-keys", "pong",
            R"({"event":"phx_reply","payload":{"response":"pong","status":"error","x":1},"ref":3,"topic":"auth:abc","join_ref":null})");
        row("join-reply", "joinReply",
            R"({"event":"phx_reply","payload":{"response":{},"status":"ok"},"ref":0,"topic":"auth:abc"})");
        row("join-reply-with-response-keys", "joinReply",
            R"({"event":"phx_reply","payload":{"response":{"reason":"x"},"status":"error"},"ref":0,"topic":"auth:abc"})");
        row("join-reply-created", "joinReply",
            R"({"event":"phx_reply","payload":{"response":{},"status":"created"},"ref":0,"topic":"t"})");
        row("unknown-status", "none",
            R"({"event":"phx_reply","payload":{"response":{},"status":"fine"},"ref":0,"topic":"t"})");
        row("pong-missing-ref", "none",
            R"({"event":"phx_reply","payload":{"response":"pong","status":"ok"},"topic":"t"})");
        row("join-reply-missing-ref", "none",
            R"({"event":"phx_reply","payload":{"response":{},"status":"ok"},"topic":"t"})");
        row("ref-as-string", "none",
            R"({"event":"phx_reply","payload":{"response":{},"status":"ok"},"ref":"0","topic":"t"})");
        row("ref-fraction", "none",
            R"({"event":"phx_reply","payload":{"response":"pong","status":"ok"},"ref":0.5,"topic":"t"})");
        row("event-outside-vocabulary", "none",
            R"({"event":"phx_leave","payload":{"response":{},"status":"ok"},"ref":0,"topic":"t"})");
        row("signed-in", "signInResult",
            R"({"event":"logged_in","payload":{"email":"a@b.c","id":5,"device_key":"k"},"topic":"auth:abc"})");
        row("signed-in-with-ref", "signInResult",
            R"({"event":"logged_in","payload":{"email":"a@b.c","id":5},"topic":"auth:abc","ref":null})");
        row("signed-in-any-event", "signInResult",
            R"({"event":"stats","payload":{"email":"a@b.c","id":5,"device_key":null},"topic":"auth:abc"})");
        row("signed-in-bad-event", "none",
            R"({"event":"signed_in","payload":{"email":"a@b.c","id":5},"topic":"auth:abc"})");
        row("signed-in-id-string", "none",
            R"({"event":"logged_in","payload":{"email":"a@b.c","id":"5"},"topic":"auth:abc"})");
        row("signed-in-no-email", "none",
            R"({"event":"logged_in","payload":{"id":5},"topic":"auth:abc"})");
        row("signed-in-no-topic", "none",
            R"({"event":"logged_in","payload":{"email":"a@b.c","id":5}})");
        row("payload-not-object", "none",
            R"({"event":"phx_reply","payload":"pong","ref":0,"topic":"t"})");
        row("not-json", "none", "pong");
        row("array", "none", "[]");
    }
    void channelMessages() {
        QFETCH(QByteArray, json);
        QFETCH(QString, decodesAs);
        const QString text = QString::fromUtf8(json);
        const auto asPong = decodeMessage<PongDto>(text);
        const auto asReply = decodeMessage<AuthJoinConnectDto>(text);
        const auto asResult = decodeMessage<AuthJoinReplayDto>(text);
        QCOMPARE(asPong.message.has_value(), decodesAs == u"pong");
        QCOMPARE(asReply.message.has_value(), decodesAs == u"joinReply");
        QCOMPARE(asResult.message.has_value(), decodesAs == u"signInResult");
        // A failure always says why.
        QCOMPARE(asPong.error.isEmpty(), asPong.message.has_value());
        QCOMPARE(asResult.error.isEmpty(), asResult.message.has_value());
    }

    void decodedFieldsAreKept() {
        const auto result = decodeMessage<AuthJoinReplayDto>(QString::fromUtf8(
            R"({"event":"logged_in","payload":{"email":"a@b.c","id":5,"device_key":"k"},"topic":"auth:abc"})"));
        QVERIFY(result.message);
        QCOMPARE(result.message->event, EventEnum::loggedIn);
        QCOMPARE(result.message->topic, u"auth:abc"_s);
        QCOMPARE(result.message->payload, (UserDto{u"a@b.c"_s, 5, u"k"_s}));

        const auto reply = decodeMessage<AuthJoinConnectDto>(QString::fromUtf8(
            R"({"event":"phx_reply","payload":{"response":{},"status":"error"},"ref":9,"topic":"auth:x"})"));
        QCOMPARE(reply.message->payload.status, StatusEnum::error);
        QCOMPARE(reply.message->ref, 9);
    }

    void textWithoutUtf8FormFailsAsJsonDecoding() {
        QString text = QString::fromUtf8(
            R"({"event":"phx_reply","payload":{"response":"pong","status":"ok"},"ref":0,"topic":"x"})");
        text.insert(text.indexOf(u'x'), QChar(0xD800)); // a lone surrogate
        const auto result = decodeMessage<PongDto>(text);
        QVERIFY(!result.message);
        QVERIFY(result.error.contains(u"JSONDecoding"_s));
    }

    void userDto_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<bool>("hasDeviceKey");
        QTest::newRow("full") << QByteArray(R"({"email":"a@b.c","id":1,"device_key":"k"})") << true
                              << true;
        QTest::newRow("no-device-key")
            << QByteArray(R"({"email":"a@b.c","id":1})") << true << false;
        QTest::newRow("null-device-key")
            << QByteArray(R"({"email":"a@b.c","id":1,"device_key":null})") << true << false;
        QTest::newRow("device-key-number")
            << QByteArray(R"({"email":"a@b.c","id":1,"device_key":3})") << false << false;
        QTest::newRow("id-string") << QByteArray(R"({"email":"a@b.c","id":"1"})") << false << false;
        QTest::newRow("id-fraction")
            << QByteArray(R"({"email":"a@b.c","id":1.5})") << false << false;
        QTest::newRow("id-null") << QByteArray(R"({"email":"a@b.c","id":null})") << false << false;
        QTest::newRow("no-email") << QByteArray(R"({"id":1})") << false << false;
        QTest::newRow("email-number") << QByteArray(R"({"email":1,"id":1})") << false << false;
        QTest::newRow("unknown-keys")
            << QByteArray(R"({"email":"a@b.c","id":1,"name":"x"})") << true << false;
    }
    void userDto() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QFETCH(bool, hasDeviceKey);
        const auto user = decodeJson<UserDto>(json);
        QCOMPARE(user.has_value(), decodes);
        if (user)
            QCOMPARE(user->deviceKey.has_value(), hasDeviceKey);
    }

    void userDataDto() {
        QVERIFY(decodeJson<UserDataDto>(R"({"data":{"email":"a@b.c","id":1}})"));
        QVERIFY(!decodeJson<UserDataDto>(R"({"email":"a@b.c","id":1})"));
        QVERIFY(!decodeJson<UserDataDto>(R"({"data":null})"));
        QVERIFY(!decodeJson<UserDataDto>(""));
    }

    void presetDto() {
        const auto preset = decodeJson<PresetDto>(presetJson);
        QVERIFY(preset);
        QCOMPARE(preset->hotkey, u"command+option+1"_s);
        QCOMPARE(preset->id, 7);
        QCOMPARE(preset->name, u"Fix"_s);
        QCOMPARE(preset->global, true);
        QCOMPARE(preset->temperature, 0.7);
        QCOMPARE(preset->systemMessage, u"You fix."_s);
        QCOMPARE(preset->userMessage, u"Fix this:"_s);
        QCOMPARE(preset->enabledByDefault, true);
        // Encoding writes all eight keys and reads back the same record.
        const QJsonObject json = preset->toJson();
        QCOMPARE(json.keys().size(), 8);
        QCOMPARE(json, parse(presetJson));
        JsonDecoder again(json, u"PresetDto"_s);
        QCOMPARE(PresetDto::decode(again), preset);
        QCOMPARE(qHash(*preset), qHash(*PresetDto::decode(again)));
    }

    void presetDtoStrictness_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined: remove the key
        QTest::addColumn<bool>("decodes");
        for (const QString& key : {u"hotkey"_s, u"id"_s, u"name"_s, u"global"_s, u"temperature"_s,
                                   u"system_message"_s, u"user_message"_s, u"enabled_by_default"_s})
            QTest::newRow(qPrintable(u"missing-" + key))
                << key << QJsonValue(QJsonValue::Undefined) << false;
        QTest::newRow("id-string") << u"id"_s << QJsonValue(u"7"_s) << false;
        QTest::newRow("id-fraction") << u"id"_s << QJsonValue(7.5) << false;
        QTest::newRow("global-number") << u"global"_s << QJsonValue(1) << false;
        QTest::newRow("temperature-string") << u"temperature"_s << QJsonValue(u"0.7"_s) << false;
        QTest::newRow("temperature-integer") << u"temperature"_s << QJsonValue(1) << true;
        QTest::newRow("hotkey-null") << u"hotkey"_s << QJsonValue(QJsonValue::Null) << false;
        QTest::newRow("hotkey-empty") << u"hotkey"_s << QJsonValue(u""_s) << true;
        QTest::newRow("unknown-key") << u"color"_s << QJsonValue(u"red"_s) << true;
    }
    void presetDtoStrictness() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(bool, decodes);
        QJsonObject json = parse(presetJson);
        if (value.isUndefined())
            json.remove(key);
        else
            json.insert(key, value);
        JsonDecoder decoder(json, u"PresetDto"_s);
        QCOMPARE(PresetDto::decode(decoder).has_value(), decodes);
    }

    void presetLists() {
        const auto empty = decodeJson<PresetsDataDto>(R"({"data":[]})");
        QVERIFY(empty);
        QVERIFY(empty->data.isEmpty());

        const QByteArray two = "{\"data\":[" + presetJson + "," +
                               QByteArray(presetJson).replace("\"id\":7", "\"id\":8") + "]}";
        const auto list = decodeJson<PresetsDataDto>(two);
        QVERIFY(list);
        QCOMPARE(list->data.size(), 2);
        QCOMPARE(list->data.at(1).id, 8);

        // One element without "enabled_by_default" fails the whole list.
        QByteArray broken = presetJson;
        broken.replace(",\"enabled_by_default\":true", "");
        QVERIFY(!decodeJson<PresetsDataDto>("{\"data\":[" + presetJson + "," + broken + "]}"));
        QVERIFY(!decodeJson<PresetsDataDto>(R"({"data":[1]})"));
        QVERIFY(!decodeJson<PresetsDataDto>(R"({"data":{}})"));
        QVERIFY(!decodeJson<PresetsDataDto>(R"({})"));

        QVERIFY(decodeJson<PresetsCreateUpdateDataDto>("{\"data\":" + presetJson + "}"));
        QVERIFY(!decodeJson<PresetsCreateUpdateDataDto>(presetJson));
    }
};

QTEST_GUILESS_MAIN(TestDto)
#include "tst_dto.moc"
