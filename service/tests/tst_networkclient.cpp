#include "scriptedserver.h"
#include "service/basenetworkclient.h"
#include "service/presetsservice.h"
#include "service/userservice.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ScriptedResponse)
Q_DECLARE_METATYPE(UserError)

namespace {

const QByteArray userBody = R"({"data":{"email":"ada@example.org","id":42,"device_key":"dk-1"}})";
const QByteArray presetJson =
    R"({"hotkey":"","id":12,"name":"Shorter","global":false,"temperature":0.5,)"
    R"("system_message":"sys","user_message":"usr","enabled_by_default":true})";

class RecordingUserDelegate final : public UserServiceDelegate {
public:
    void userFetched(const UserDto& user) override { fetched.append(user); }
    void userFetchFailed(UserError error) override { failed.append(error); }
    [[nodiscard]] int calls() const { return static_cast<int>(fetched.size() + failed.size()); }

    QList<UserDto> fetched;
    QList<UserError> failed;
};

template <typename T>
bool waitFor(const std::optional<T>& slot) {
    return QTest::qWaitFor([&] { return slot.has_value(); }, 10'000);
}

} // namespace

class TestNetworkClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->port() != 0);
    }
    void cleanup() {
        m_server.reset();
        QCoreApplication::setApplicationVersion(QString());
    }

    void statusPaths_data() {
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<int>("decoding");    // NetworkError, or -1 for a decoded value
        QTest::addColumn<int>("withoutBody"); // NetworkError, or -1 for success
        const int ok = -1;
        const auto e = [](NetworkError error) {
            return static_cast<int>(error);
        };
        QTest::newRow("200-valid") << ScriptedResponse::json(userBody) << ok << ok;
        QTest::newRow("200-invalid")
            << ScriptedResponse::json(R"({"data":{"id":"42"}})") << e(NetworkError::decode) << ok;
        QTest::newRow("200-not-json")
            << ScriptedResponse::json("<html>") << e(NetworkError::decode) << ok;
        QTest::newRow("204-empty") << ScriptedResponse::empty(204) << e(NetworkError::decode) << ok;
        QTest::newRow("201-valid") << ScriptedResponse::json(userBody, 201) << ok << ok;
        QTest::newRow("400") << ScriptedResponse::json("{}", 400) << e(NetworkError::badRequest)
                             << e(NetworkError::badRequest);
        QTest::newRow("401") << ScriptedResponse::json("{}", 401) << e(NetworkError::unauthorised)
                             << e(NetworkError::unauthorised);
        QTest::newRow("403") << ScriptedResponse::json("{}", 403) << e(NetworkError::forbidden)
                             << e(NetworkError::unexpected);
        QTest::newRow("404") << ScriptedResponse::json("{}", 404) << e(NetworkError::unexpected)
                             << e(NetworkError::unexpected);
        QTest::newRow("413") << ScriptedResponse::json("{}", 413) << e(NetworkError::unexpected)
                             << e(NetworkError::unexpected);
        QTest::newRow("500") << ScriptedResponse::json(userBody, 500) << e(NetworkError::unexpected)
                             << e(NetworkError::unexpected);
        QTest::newRow("dropped") << ScriptedResponse::dropConnection() << e(NetworkError::unknown)
                                 << e(NetworkError::unknown);
    }
    void statusPaths() {
        QFETCH(ScriptedResponse, response);
        QFETCH(int, decoding);
        QFETCH(int, withoutBody);
        m_server->respond("GET", u"/api/0/user"_s, response);

        BaseNetworkClient client(m_server->base());
        std::optional<NetworkResult<UserDataDto>> decoded;
        client.sendRequest<UserDataDto>(UserEndpoint::show(u"tok"_s, m_server->base()),
                                        [&](NetworkResult<UserDataDto> r) { decoded = r; });
        QVERIFY(waitFor(decoded));
        if (decoding < 0) {
            QVERIFY(decoded->ok());
            QCOMPARE(decoded->value().data.userId, 42);
        } else {
            QVERIFY(!decoded->ok());
            QCOMPARE(static_cast<int>(decoded->error()), decoding);
        }

        std::optional<NetworkResult<bool>> plain;
        client.sendRequestWithoutResponse(UserEndpoint::show(u"tok"_s, m_server->base()),
                                          [&](NetworkResult<bool> r) { plain = r; });
        QVERIFY(waitFor(plain));
        if (withoutBody < 0) {
            QVERIFY(plain->ok());
            QCOMPARE(plain->value(), true);
        } else {
            QVERIFY(!plain->ok());
            QCOMPARE(static_cast<int>(plain->error()), withoutBody);
        }
    }

    void refusedConnectionIsUnknown() {
        const ServiceBase base = m_server->base();
        m_server.reset(); // nothing listens on the port any more
        BaseNetworkClient client(base);
        std::optional<NetworkResult<UserDataDto>> result;
        client.sendRequest<UserDataDto>(UserEndpoint::show(u"tok"_s, base),
                                        [&](NetworkResult<UserDataDto> r) { result = r; });
        QVERIFY(waitFor(result));
        QCOMPARE(result->error(), NetworkError::unknown);
    }

    void invalidUrlSendsNothing() {
        BaseNetworkClient client(ServiceBase::invalid());
        std::optional<NetworkResult<bool>> result;
        client.sendRequestWithoutResponse(LogoutEndpoint::remove(u"tok"_s, ServiceBase::invalid()),
                                          [&](NetworkResult<bool> r) { result = r; });
        QVERIFY(!result); // never synchronously
        QVERIFY(waitFor(result));
        QCOMPARE(result->error(), NetworkError::invalidUrl);
        QTest::qWait(50);
        QVERIFY(m_server->requests().isEmpty());
    }

    void userRequestOnTheWire() {
        QCoreApplication::setApplicationVersion(u"0.1.0"_s);
        m_server->respond("GET", u"/api/0/user"_s, ScriptedResponse::json(userBody));
        RecordingUserDelegate delegate;
        UserService service(u"dk-1"_s, &delegate, m_server->base());
        service.fetchUser();
        QTRY_COMPARE(delegate.calls(), 1);
        QCOMPARE(delegate.fetched.value(0), (UserDto{u"ada@example.org"_s, 42, u"dk-1"_s}));

        QCOMPARE(m_server->requests().size(), 1);
        const RecordedRequest& request = m_server->requests().first();
        QCOMPARE(request.method, "GET");
        QCOMPARE(request.url.path(), u"/api/0/user"_s);
        QVERIFY(!request.url.hasQuery());
        QCOMPARE(request.header("Authorization"), "Bearer dk-1");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QCOMPARE(request.header("App-Version"), "0.1.0");
        QVERIFY(request.body.isEmpty());
    }

    void userErrors_data() {
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<UserError>("expected");
        QTest::newRow("no-data") << ScriptedResponse::json(R"({"email":"a@b.c","id":1})")
                                 << UserError::generic;
        QTest::newRow("401") << ScriptedResponse::json("{}", 401) << UserError::unauthorised;
        QTest::newRow("403") << ScriptedResponse::json("{}", 403) << UserError::generic;
        QTest::newRow("204") << ScriptedResponse::empty(204) << UserError::generic;
        QTest::newRow("dropped") << ScriptedResponse::dropConnection()
                                 << UserError::failedToConnect;
    }
    void userErrors() {
        QFETCH(ScriptedResponse, response);
        QFETCH(UserError, expected);
        m_server->respond("GET", u"/api/0/user"_s, response);
        RecordingUserDelegate delegate;
        UserService service(u"dk"_s, &delegate, m_server->base());
        service.fetchUser();
        QTRY_COMPARE(delegate.calls(), 1);
        QCOMPARE(delegate.failed.value(0), expected);
        QTest::qWait(20);
        QCOMPARE(delegate.calls(), 1); // exactly one call per fetch
    }

    void nothingArrivesAfterTheServiceIsGone() {
        m_server->respond("GET", u"/api/0/user"_s, ScriptedResponse::json(userBody));
        RecordingUserDelegate delegate;
        {
            UserService service(u"dk"_s, &delegate, m_server->base());
            service.fetchUser();
        }
        QTest::qWait(200);
        QCOMPARE(delegate.calls(), 0);
    }

    void logout() {
        m_server->respond("DELETE", u"/api/0/devices/logout"_s, ScriptedResponse::empty(204));
        LogoutService service(u"dk-9"_s, m_server->base());
        std::optional<NetworkResult<bool>> result;
        service.logout([&](NetworkResult<bool> r) { result = r; });
        QVERIFY(waitFor(result));
        QVERIFY(result->ok());
        const RecordedRequest& request = m_server->requests().first();
        QCOMPARE(request.method, "DELETE");
        QCOMPARE(request.url.path(), u"/api/0/devices/logout"_s);
        QCOMPARE(request.header("Authorization"), "Bearer dk-9");
        QCOMPARE(request.header("Content-Type"), "application/json");
        QVERIFY(request.body.isEmpty());

        m_server->respond("DELETE", u"/api/0/devices/logout"_s, ScriptedResponse::json("{}", 403));
        result.reset();
        service.logout([&](NetworkResult<bool> r) { result = r; });
        QVERIFY(waitFor(result));
        QCOMPARE(result->error(), NetworkError::unexpected);
    }

    void presetList() {
        PresetsService service(u"dk"_s, m_server->base());
        const auto fetch = [&](const ScriptedResponse& response) {
            m_server->respond("GET", u"/api/0/presets"_s, response);
            std::optional<QList<PresetDto>> list;
            service.presets([&](QList<PresetDto> l) { list = l; });
            return waitFor(list) ? *list : QList<PresetDto>{PresetDto::blank()};
        };
        const QList<PresetDto> list =
            fetch(ScriptedResponse::json("{\"data\":[" + presetJson + "]}"));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().name, u"Shorter"_s);
        const RecordedRequest& request = m_server->requests().first();
        QCOMPARE(request.method, "GET");
        QCOMPARE(request.url.path(), u"/api/0/presets"_s);
        QCOMPARE(request.header("Authorization"), "Bearer dk");

        // Whatever fails gives the empty list: an invalid element, a server error.
        QByteArray broken = presetJson;
        broken.replace(",\"enabled_by_default\":true", "");
        QVERIFY(fetch(ScriptedResponse::json("{\"data\":[" + presetJson + "," + broken + "]}"))
                    .isEmpty());
        QVERIFY(fetch(ScriptedResponse::json("{}", 500)).isEmpty());
    }

    void presetCreateAndUpdate() {
        m_server->respond("POST", u"/api/0/presets"_s,
                          ScriptedResponse::json("{\"data\":" + presetJson + "}"));
        m_server->respond("PUT", u"/api/0/presets/12"_s,
                          ScriptedResponse::json("{\"data\":" + presetJson + "}"));
        PresetsService service(u"dk"_s, m_server->base());

        PresetDto draft;
        draft.id = 0;
        draft.name = u"Shorter"_s;
        draft.temperature = 0.5;
        std::optional<PresetDto> created;
        service.create(draft, [&](PresetDto p) { created = p; });
        QVERIFY(waitFor(created));
        QCOMPARE(created->id, 12);
        const RecordedRequest& post = m_server->requests().at(0);
        QCOMPARE(post.method, "POST");
        QCOMPARE(post.url.path(), u"/api/0/presets"_s);
        QCOMPARE(post.header("Content-Type"), "application/json");
        const QJsonObject body = QJsonDocument::fromJson(post.body).object();
        QCOMPARE(body.keys(), QStringList{u"preset"_s});
        QCOMPARE(body.value(u"preset"_s).toObject(), draft.toJson());
        QVERIFY(body.value(u"preset"_s).toObject().contains(u"id"_s));

        std::optional<PresetDto> updated;
        service.update(*created, [&](PresetDto p) { updated = p; });
        QVERIFY(waitFor(updated));
        QCOMPARE(*updated, *created);
        const RecordedRequest& put = m_server->requests().at(1);
        QCOMPARE(put.method, "PUT");
        QCOMPARE(put.url.path(), u"/api/0/presets/12"_s);
        QCOMPARE(QJsonDocument::fromJson(put.body).object(),
                 (QJsonObject{{u"preset"_s, created->toJson()}}));

        m_server->respond("POST", u"/api/0/presets"_s, ScriptedResponse::json("{}", 401));
        created.reset();
        service.create(draft, [&](PresetDto p) { created = p; });
        QVERIFY(waitFor(created));
        QCOMPARE(*created, PresetDto::blank());

        // A record JSON cannot hold is not sent at all.
        const auto before = m_server->requests().size();
        draft.temperature = std::numeric_limits<double>::quiet_NaN();
        created.reset();
        service.create(draft, [&](PresetDto p) { created = p; });
        QVERIFY(waitFor(created));
        QCOMPARE(created->id, -1);
        QCOMPARE(m_server->requests().size(), before);
    }

    void presetDelete() {
        PresetsService service(u"dk"_s, m_server->base());
        m_server->respond("DELETE", u"/api/0/presets/42"_s, ScriptedResponse::empty(204));
        std::optional<bool> deleted;
        service.deletePreset(42, [&](bool ok) { deleted = ok; });
        QVERIFY(waitFor(deleted));
        QCOMPARE(*deleted, false);
        QCOMPARE(m_server->requests().first().method, "DELETE");
        QCOMPARE(m_server->requests().first().url.path(), u"/api/0/presets/42"_s);

        m_server->respond("DELETE", u"/api/0/presets/42"_s, ScriptedResponse::json(presetJson));
        deleted.reset();
        service.deletePreset(42, [&](bool ok) { deleted = ok; });
        QVERIFY(waitFor(deleted));
        QCOMPARE(*deleted, true);
    }

private:
    std::unique_ptr<ScriptedServer> m_server;
};

QTEST_GUILESS_MAIN(TestNetworkClient)
#include "tst_networkclient.moc"
