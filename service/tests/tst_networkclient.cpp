#include "scriptedserver.h"
#include "service/basenetworkclient.h"
#include "service/presetsservice.h"
#include "service/userservice.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ScriptedResponse)

namespace {

const QByteArray userBody = R"({"data":{"email":"ada@example.org","id":42,"device_key":"dk-1"}})";
const QByteArray presetJson =
    R"({"hotkey":"ctrl+alt+1","id":12,"name":"Shorter","global":false,"temperature":0.5,)"
    R"("system_message":"sys","user_message":"usr","enabled_by_default":true})";

class RecordingUserDelegate final : public UserServiceDelegate {
public:
    void userFetched(const UserDto& user) override { fetched.append(user); }
    void userFetchFailed(UserError error) override { failed.append(error); }
    [[nodiscard]] int calls() const { return static_cast<int>(fetched.size() + failed.size()); }

    QList<UserDto> fetched;
    QList<UserError> failed;
};

/** presetJson with one key changed, or removed when value is undefined. */
QByteArray presetWith(const QString& key, const QJsonValue& value) {
    QJsonObject preset = QJsonDocument::fromJson(presetJson).object();
    if (value.isUndefined())
        preset.remove(key);
    else
        preset.insert(key, value);
    return QJsonDocument(preset).toJson(QJsonDocument::Compact);
}

} // namespace

class TestNetworkClient : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedServer> m_server;

    /** The request at index went out with this method and path, no query, and the device key. */
    void checkSent(int index, const QByteArray& method, const QString& path) {
        QVERIFY(m_server->waitForRequests(index + 1));
        const RecordedRequest& request = m_server->requests().at(index);
        QCOMPARE(request.line, method + ' ' + path.toLatin1() + " HTTP/1.1");
        QCOMPARE(request.header("Authorization"), "Bearer dk");
        QCOMPARE(request.header("Content-Type"), "application/json");
    }

private Q_SLOTS:
    void init() { m_server = std::make_unique<ScriptedServer>(); }
    void cleanup() { m_server.reset(); }

    // How each answer maps for a decoded call, a call without body and the user fetch;
    // -1 stands for success.
    void statusPaths_data() {
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<int>("decoding");
        QTest::addColumn<int>("withoutBody");
        QTest::addColumn<int>("user");
        using R = ScriptedResponse;
        using N = NetworkError;
        using U = UserError;
        const auto row = [](const char* name, const R& response, auto decoding, auto plain,
                            auto user) {
            QTest::newRow(name) << response << int(decoding) << int(plain) << int(user);
        };
        row("200-valid", R::json(userBody), -1, -1, -1);
        row("200-invalid", R::json(R"({"data":{"id":"42"}})"), N::decode, -1, U::generic);
        row("204-empty", R::json({}, 204), N::decode, -1, U::generic);
        row("400", R::json("{}", 400), N::badRequest, N::badRequest, U::generic);
        row("401", R::json("{}", 401), N::unauthorised, N::unauthorised, U::unauthorised);
        row("403", R::json("{}", 403), N::forbidden, N::unexpected, U::generic);
        row("500", R::json(userBody, 500), N::unexpected, N::unexpected, U::generic);
        row("dropped", R::dropConnection(), N::unknown, N::unknown, U::failedToConnect);
    }
    void statusPaths() {
        QFETCH(ScriptedResponse, response);
        QFETCH(int, decoding);
        QFETCH(int, withoutBody);
        QFETCH(int, user);
        m_server->respond("GET", u"/api/0/user"_s, response);

        BaseNetworkClient client(m_server->base());
        const auto endpoint = UserEndpoint::show(u"tok"_s, m_server->base());
        const auto decoded = awaited<NetworkResult<UserDataDto>>(
            [&](auto done) { client.sendRequest<UserDataDto>(endpoint, done); });
        QCOMPARE(decoded.ok() ? decoded.value().data.userId : int(decoded.error()),
                 decoding < 0 ? 42 : decoding);
        const auto plain = awaited<NetworkResult<bool>>(
            [&](auto done) { client.sendRequestWithoutResponse(endpoint, done); });
        QCOMPARE(plain.ok() ? (plain.value() ? -1 : -2) : int(plain.error()), withoutBody);

        RecordingUserDelegate delegate;
        UserService service(u"dk"_s, &delegate, m_server->base());
        service.fetchUser();
        QTRY_COMPARE(delegate.calls(), 1);
        QCOMPARE(delegate.failed.isEmpty() ? -1 : int(delegate.failed.first()), user);
        if (user < 0)
            QCOMPARE(delegate.fetched, (QList<UserDto>{{u"ada@example.org"_s, 42, u"dk-1"_s}}));
        const int fetch = static_cast<int>(m_server->requests().size()) - 1;
        checkSent(fetch, "GET", u"/api/0/user"_s);
        QVERIFY(m_server->requests().at(fetch).header("App-Version").isNull());
        QVERIFY(m_server->requests().at(fetch).body.isEmpty());
        QTest::qWait(20);
        QCOMPARE(delegate.calls(), 1); // exactly one call per fetch
    }

    // How many prompts a list answer gives; -1 for a failure. One bad element fails it all.
    void presetList_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count");
        const auto list = [](const QByteArray& element) -> QByteArray {
            return "{\"data\":[" + presetJson + "," + element + "]}";
        };
        QTest::newRow("empty") << QByteArray(R"({"data":[]})") << 0;
        QTest::newRow("two") << list(presetWith(u"id"_s, 13)) << 2;
        for (const QString& key : {u"hotkey"_s, u"id"_s, u"name"_s, u"global"_s, u"temperature"_s,
                                   u"system_message"_s, u"user_message"_s, u"enabled_by_default"_s})
            QTest::newRow(qPrintable(u"missing-"_s + key))
                << list(presetWith(key, QJsonValue(QJsonValue::Undefined))) << -1;
        QTest::newRow("id-string") << list(presetWith(u"id"_s, u"7"_s)) << -1;
        QTest::newRow("temperature-integer") << list(presetWith(u"temperature"_s, 1)) << 2;
        QTest::newRow("hotkey-empty") << list(presetWith(u"hotkey"_s, u""_s)) << 2;
        QTest::newRow("no-data") << QByteArray("{}") << -1;
    }
    void presetList() {
        QFETCH(QByteArray, body);
        QFETCH(int, count);
        m_server->respond("GET", u"/api/0/presets"_s, ScriptedResponse::json(body));
        PresetsService service(u"dk"_s, m_server->base());
        const auto result = awaited<NetworkResult<QList<PresetDto>>>(
            [&](auto done) { service.presetsResult(done); });
        checkSent(0, "GET", u"/api/0/presets"_s);
        QCOMPARE(result.ok() ? result.value().size() : -1, count);
        // The plain list call gives the empty list for every failure.
        QCOMPARE(awaited<QList<PresetDto>>([&](auto done) { service.presets(done); }).size(),
                 std::max(count, 0));
    }

    void presetCreateUpdateAndDelete() {
        const QByteArray answer = "{\"data\":" + presetJson + "}";
        m_server->respond("POST", u"/api/0/presets"_s, ScriptedResponse::json(answer));
        m_server->respond("PUT", u"/api/0/presets/12"_s, ScriptedResponse::json(answer));
        PresetsService service(u"dk"_s, m_server->base());

        PresetDto draft{u"ctrl+alt+2"_s, 0, u"Mine"_s, false, 0.25, u"s"_s, u"u"_s, false};
        const auto create = [&] {
            return awaited<PresetDto>([&](auto done) { service.create(draft, done); });
        };
        const PresetDto created = create();
        QCOMPARE(created, (PresetDto{u"ctrl+alt+1"_s, 12, u"Shorter"_s, false, 0.5, u"sys"_s,
                                     u"usr"_s, true}));
        checkSent(0, "POST", u"/api/0/presets"_s);
        QCOMPARE(QJsonDocument::fromJson(m_server->requests().at(0).body).object(),
                 QJsonDocument::fromJson(
                     R"({"preset":{"hotkey":"ctrl+alt+2","id":0,"name":"Mine","global":false,)"
                     R"("temperature":0.25,"system_message":"s","user_message":"u",)"
                     R"("enabled_by_default":false}})")
                     .object());

        QCOMPARE(awaited<PresetDto>([&](auto done) { service.update(created, done); }), created);
        checkSent(1, "PUT", u"/api/0/presets/12"_s);
        QCOMPARE(QJsonDocument::fromJson(m_server->requests().at(1).body),
                 QJsonDocument::fromJson("{\"preset\":" + presetJson + "}"));

        m_server->respond("POST", u"/api/0/presets"_s, ScriptedResponse::json("{}", 401));
        QCOMPARE(create(), PresetDto::blank());

        // Deleting reports true only for an answer with a body.
        const auto remove = [&] {
            return awaited<bool>([&](auto done) { service.deletePreset(42, done); });
        };
        m_server->respond("DELETE", u"/api/0/presets/42"_s, ScriptedResponse::json({}, 204));
        QCOMPARE(remove(), false);
        checkSent(3, "DELETE", u"/api/0/presets/42"_s);
        m_server->respond("DELETE", u"/api/0/presets/42"_s, ScriptedResponse::json(presetJson));
        QCOMPARE(remove(), true);
    }
};

QTEST_GUILESS_MAIN(TestNetworkClient)
#include "tst_networkclient.moc"
