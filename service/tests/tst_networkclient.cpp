#include "scriptedserver.h"
#include "service/basenetworkclient.h"
#include "service/endpoint.h"
#include "service/presetsservice.h"
#include "service/signintoken.h"
#include "service/textsservice.h"
#include "service/userservice.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

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

class RecordingTextsDelegate final : public TextsServiceDelegate {
public:
    void didReceiveText(const QString& text) override { record(u"text:" + text); }
    void didFinish() override { record(u"finish"_s); }
    void didFailPromptTooLong() override { record(u"tooLong"_s); }
    void didFailGeneric() override { record(u"generic"_s); }
    void didReceiveFailureReason(const QString& reason) override { record(u"reason:" + reason); }

    void record(const QString& event) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offMainThread = true;
        events.append(event);
    }

    QStringList events;
    bool offMainThread = false;
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
    RecordingTextsDelegate m_delegate;

    /** The request at index went out with this method and path, no query, and the device key. */
    void checkSent(int index, const QByteArray& method, const QString& path) {
        QVERIFY(m_server->waitForRequests(index + 1));
        const RecordedRequest& request = m_server->requests().at(index);
        QCOMPARE(request.line, method + ' ' + path.toLatin1() + " HTTP/1.1");
        QCOMPARE(request.header("Authorization"), "Bearer dk");
        QCOMPARE(request.header("Content-Type"), "application/json");
    }
    /** The delegate heard exactly these events, and nothing more follows. */
    bool settlesAt(const QStringList& expected) {
        if (!QTest::qWaitFor([&] { return m_delegate.events == expected; }, 5000))
            return false;
        QTest::qWait(50);
        return m_delegate.events == expected;
    }
    /** Sends a prompt request and opens a chunked answer to it. */
    bool startStream(TextsService& service) {
        service.sendPreset(1, u"x"_s, {}, &m_delegate);
        if (!m_server->waitForRequests(1))
            return false;
        m_server->beginChunked();
        return true;
    }

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<ScriptedServer>(true); // held unless a rule answers
        m_delegate.events.clear();
        m_delegate.offMainThread = false;
    }
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

    void presetRequestOnTheWire() {
        TextsService service(u"dk-7"_s, m_server->base());
        const QList<RequestData> exchanges{
            RequestData{7, std::nullopt, u"first text"_s, u"first answer"_s},
            RequestData{std::nullopt, u"make it shorter"_s, u"second & text"_s, u"r\u00e9ponse"_s}};
        service.sendPreset(7, u"Hello w\u00f6rld & you=1+1?\n/x"_s, exchanges, &m_delegate);
        QVERIFY(m_server->waitForRequests(1));

        QCOMPARE(m_server->requests().last().line, "POST /api/0/texts HTTP/1.1");
        QCOMPARE(m_server->header("Authorization"), "Bearer dk-7");
        QVERIFY(m_server->header("Content-Type").isNull());

        // Letters of any script stay; other characters become their UTF-8 bytes as %XX.
        QCOMPARE(
            textsPercentEncode(u"!\"#$%'()*,:;<>@[\\]^`{|}\u20ac"_s),
            u"%21%22%23%24%25%27%28%29%2A%2C%3A%3B%3C%3E%40%5B%5C%5D%5E%60%7B%7C%7D%E2%82%AC"_s);
        const QByteArray body = m_server->requestBody();
        const QByteArray expectedText = u"Hello%20w\u00f6rld%20%26%20you%3D1%2B1?%0A/x"_s.toUtf8();
        const QByteArray prefix = "preset_id=7&text=" + expectedText + "&history=";
        QVERIFY2(body.startsWith(prefix), body.constData());
        const QByteArray history = body.mid(prefix.size());
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromPercentEncoding(history)).array(),
                 (QJsonArray{QJsonObject{{u"preset_id"_s, 7},
                                         {u"text"_s, u"first text"_s},
                                         {u"response"_s, u"first answer"_s}},
                             QJsonObject{{u"command"_s, u"make it shorter"_s},
                                         {u"text"_s, u"second & text"_s},
                                         {u"response"_s, u"r\u00e9ponse"_s}}}));
    }

    // Each piece is delivered before the next one is even written; a character split
    // across chunks arrives whole, once.
    void chunksArriveAsTheyComeWithCharactersWhole() {
        TextsService service(u"tok"_s, m_server->base());
        QVERIFY(startStream(service));
        const QList<std::pair<QByteArray, QString>> pieces{{"The ", u"The "_s},
                                                           {"caf\xC3", u"caf"_s},
                                                           {"\xA9 \xF0\x9F", u"\u00e9 "_s},
                                                           {"\x98", QString()},
                                                           {"\x80!", u"\U0001F600!"_s}};
        QStringList expected;
        for (const auto& [chunk, text] : pieces) {
            m_server->writeChunk(chunk);
            if (!text.isEmpty())
                expected.append(u"text:" + text);
            QTRY_COMPARE(m_delegate.events, expected);
        }
        m_server->finish();
        expected.append(u"finish"_s);
        QVERIFY(settlesAt(expected));
        QVERIFY(!m_delegate.offMainThread);
    }

    void cancelMidStream() {
        TextsService service(u"tok"_s, m_server->base());
        QVERIFY(startStream(service));
        m_server->writeChunk("one ");
        QTRY_COMPARE(m_delegate.events, QStringList{u"text:one "_s});
        service.cancel();
        QCOMPARE(m_delegate.events.size(), 1); // reported later, on the main queue
        m_server->writeChunk("three");
        QVERIFY(settlesAt({u"text:one "_s, u"generic"_s, u"finish"_s}));
    }

    // How an answer, written as it is and closed in order, ends for the delegate.
    void answers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("events");
        const QByteArray refusal = "HTTP/1.1 503 Unavailable\r\nContent-Length: 5\r\n";
        QTest::newRow("whole") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
                               << QStringList{u"text:ok"_s, u"finish"_s};
        // Whole by its length, but its last character is not: the part shows as cut.
        QTest::newRow("ends inside a character")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nok\xC3")
            << QStringList{u"text:ok"_s, u"generic"_s, u"finish"_s};
        QTest::newRow("classified refusal")
            << refusal + "X-Orvane-Reason: model-not-found\r\n\r\nnope\n"
            << QStringList{u"reason:model-not-found"_s, u"generic"_s, u"finish"_s};
        QTest::newRow("reason of another shape")
            << refusal + "X-Orvane-Reason: Model_Not <b>found</b>\r\n\r\nnope\n"
            << QStringList{u"generic"_s, u"finish"_s};
    }
    void answers() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, events);
        TextsService service(u"tok"_s, m_server->base());
        service.sendCommand(u"c"_s, u"x"_s, {}, &m_delegate);
        QVERIFY(m_server->waitForRequests(1));
        m_server->writeAndClose(answer);
        QVERIFY2(settlesAt(events), qPrintable(m_delegate.events.join(u' ')));
    }

    void nothingReachesTheDelegateAfterTheServiceIsGone() {
        {
            TextsService service(u"tok"_s, m_server->base());
            QVERIFY(startStream(service));
            m_server->writeChunk("late");
            QTest::qWait(20);
        }
        m_server->finish();
        QTest::qWait(100);
        QVERIFY(m_delegate.events.size() <= 1);
        QVERIFY(!m_delegate.events.contains(u"finish"_s));
    }

    // Accepted: "<http scheme> <socket scheme> <host> <port>"; refused: "!" and the reason.
    void bases_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default") << ServiceBase::defaultUrl << u"http ws 127.0.0.1 8787"_s;
        QTest::newRow("https") << u"https://orvane.example.org"_s
                               << u"https wss orvane.example.org 443"_s;
        QTest::newRow("localhost") << u"http://localhost:9000"_s << u"http ws localhost 9000"_s;
        QTest::newRow("ipv6-loopback") << u"http://[::1]:8787"_s << u"http ws ::1 8787"_s;
        QTest::newRow("plain-http-remote") << u"http://orvane.example.org"_s << u"!loopback"_s;
        QTest::newRow("ws-scheme") << u"ws://127.0.0.1:8787"_s << u"!scheme"_s;
        QTest::newRow("path") << u"https://orvane.example.org/api"_s << u"!root path"_s;
        QTest::newRow("query") << u"https://orvane.example.org/?x=1"_s << u"!query"_s;
        QTest::newRow("userinfo") << u"https://me:pw@orvane.example.org"_s << u"!user"_s;
    }
    void bases() {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        QString why;
        const auto base = ServiceBase::parse(url, &why);
        if (expected.startsWith(u'!')) {
            QVERIFY(!base);
            QVERIFY(!why.isEmpty());
            QVERIFY2(why.contains(expected.mid(1)), qPrintable(why));
        } else {
            QVERIFY2(base, qPrintable(why));
            QCOMPARE(u"%1 %2 %3 %4"_s.arg(base->httpScheme(), base->socketScheme(), base->host())
                         .arg(base->port()),
                     expected);
        }
    }

    // A service that stops answering fails the request instead of leaving it open.
    void requestsTimeOut() {
        const auto request =
            PresetsEndpoint::update(u"tok"_s, 42, "{}", m_server->base()).makeRequest();
        QVERIFY(request);
        QCOMPARE(request->request.transferTimeout(), 60'000);
    }

    void signInTokensAreUniformOverTheAlphabet() {
        QHash<QChar, int> counts;
        for (int i = 0; i < 2000; ++i) {
            for (const QChar c : SignIn::makeToken())
                ++counts[c];
        }
        // 48000 draws over 62 characters: each about 774 times.
        QCOMPARE(counts.size(), 62);
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            QVERIFY(SignIn::tokenAlphabet.contains(it.key()));
            QVERIFY2(it.value() > 600 && it.value() < 950, qPrintable(QString(it.key())));
        }
    }
};

QTEST_GUILESS_MAIN(TestNetworkClient)
#include "tst_networkclient.moc"
