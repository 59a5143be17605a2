#include "service/basenetworkclient.h"
#include "service/endpoint.h"
#include "service/servicebase.h"
#include "service/signintoken.h"
#include "service/websocketauthservice.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

ServiceBase httpsBase() {
    return *ServiceBase::parse(u"https://orvane.example.org"_s);
}

QList<QByteArray> sorted(QList<QByteArray> list) {
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

class TestEndpoint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void acceptedBases_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("httpScheme");
        QTest::addColumn<QString>("socketScheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("default") << ServiceBase::defaultUrl << u"http"_s << u"ws"_s
                                 << u"127.0.0.1"_s << 8787;
        QTest::newRow("https") << u"https://orvane.example.org"_s << u"https"_s << u"wss"_s
                               << u"orvane.example.org"_s << 443;
        QTest::newRow("https-443-slash") << u"https://orvane.example.org:443/"_s << u"https"_s
                                         << u"wss"_s << u"orvane.example.org"_s << 443;
        QTest::newRow("https-port") << u"https://orvane.example.org:8443"_s << u"https"_s
                                    << u"wss"_s << u"orvane.example.org"_s << 8443;
        QTest::newRow("localhost")
            << u"http://localhost:9000"_s << u"http"_s << u"ws"_s << u"localhost"_s << 9000;
        QTest::newRow("loopback-range")
            << u"http://127.1.2.3"_s << u"http"_s << u"ws"_s << u"127.1.2.3"_s << 80;
        QTest::newRow("ipv6-loopback")
            << u"http://[::1]:8787"_s << u"http"_s << u"ws"_s << u"::1"_s << 8787;
    }
    void acceptedBases() {
        QFETCH(QString, url);
        QString why;
        const auto base = ServiceBase::parse(url, &why);
        QVERIFY2(base, qPrintable(why));
        QFETCH(QString, httpScheme);
        QFETCH(QString, socketScheme);
        QFETCH(QString, host);
        QFETCH(int, port);
        QCOMPARE(base->httpScheme(), httpScheme);
        QCOMPARE(base->socketScheme(), socketScheme);
        QCOMPARE(base->host(), host);
        QCOMPARE(base->port(), port);
    }

    void refusedBases_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("reason");
        QTest::newRow("plain-http-remote") << u"http://orvane.example.org"_s << u"loopback"_s;
        QTest::newRow("plain-http-private") << u"http://192.168.1.5:8787"_s << u"loopback"_s;
        QTest::newRow("ws-scheme") << u"ws://127.0.0.1:8787"_s << u"scheme"_s;
        QTest::newRow("ftp") << u"ftp://orvane.example.org"_s << u"scheme"_s;
        QTest::newRow("path") << u"https://orvane.example.org/api"_s << u"root path"_s;
        QTest::newRow("query") << u"https://orvane.example.org/?x=1"_s << u"query"_s;
        QTest::newRow("userinfo") << u"https://me:pw@orvane.example.org"_s << u"user"_s;
        QTest::newRow("empty") << QString() << u""_s;
        QTest::newRow("no-host") << u"https://"_s << u""_s;
    }
    void refusedBases() {
        QFETCH(QString, url);
        QFETCH(QString, reason);
        QString why;
        QVERIFY(!ServiceBase::parse(url, &why));
        QVERIFY(!why.isEmpty());
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void sharedBaseRefusesARemotePlainHttpUrlWithALogLine() {
        // The shared base is read once per process: this is its first use here.
        qputenv(ServiceBase::environmentVariable, "http://orvane.example.org:8787");
        QTest::ignoreMessage(
            QtCriticalMsg,
            QRegularExpression(u"^Refusing service URL \"http://orvane\\.example\\.org:8787\" from "
                               "ORVANE_SERVICE_URL: plain http is allowed only "
                               "for loopback hosts"_s));
        const ServiceBase& base = ServiceBase::shared();
        QVERIFY(!base.isValid());
        // Nothing can be sent anywhere.
        QVERIFY(!UserEndpoint::show(u"t"_s).makeRequest());
        QTest::ignoreMessage(QtCriticalMsg, "url not constructed");
        QVERIFY(!WebSocketAuthService::create(u"tok"_s, Log("webSocket")));
    }

    void httpsUrlsAreComposedWithThePortWrittenOut_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("expected");
        const ServiceBase base = httpsBase();
        QTest::newRow("user")
            << UserEndpoint::show(u"t"_s, base).makeRequest()->request.url().toString()
            << u"https://orvane.example.org:443/api/0/user"_s;
        QTest::newRow("logout")
            << LogoutEndpoint::remove(u"t"_s, base).makeRequest()->request.url().toString()
            << u"https://orvane.example.org:443/api/0/devices/logout"_s;
        QTest::newRow("presets")
            << PresetsEndpoint::presets(u"t"_s, base).makeRequest()->request.url().toString()
            << u"https://orvane.example.org:443/api/0/presets"_s;
        QTest::newRow("update-42") << PresetsEndpoint::update(u"t"_s, 42, "{}", base)
                                          .makeRequest()
                                          ->request.url()
                                          .toString()
                                   << u"https://orvane.example.org:443/api/0/presets/42"_s;
        QTest::newRow("delete-42")
            << PresetsEndpoint::remove(u"t"_s, 42, base).makeRequest()->request.url().toString()
            << u"https://orvane.example.org:443/api/0/presets/42"_s;
        const QString texts = TextsEndpoint::command(u"t"_s, u"c"_s, u"x"_s, u"%5B%5D"_s, base)
                                  .makeRequest()
                                  ->request.url()
                                  .toString();
        // Whether the empty query list leaves a bare "?" is the URL builder's affair.
        QTest::newRow("texts") << (texts.endsWith(u'?') ? texts.chopped(1) : texts)
                               << u"https://orvane.example.org:443/api/0/texts"_s;
        QTest::newRow("socket") << base.socketUrl(WebSocketAuthService::socketPath).toString()
                                << u"wss://orvane.example.org:443/auth_socket/0/auth"_s;
        QTest::newRow("sign-in page")
            << base.httpUrl(u"/users/log_in"_s,
                            ServiceBase::QueryItems{{u"token"_s, u"abcDEF123"_s}})
                   .toString()
            << u"https://orvane.example.org:443/users/log_in?token=abcDEF123"_s;
    }
    void httpsUrlsAreComposedWithThePortWrittenOut() {
        QFETCH(QString, url);
        QFETCH(QString, expected);
        QCOMPARE(url, expected);
    }

    void makeRequestCarriesExactlyTheEndpointsHeadersAndA60SecondTimeout() {
        const auto request = PresetsEndpoint::update(u"tok"_s, 3, "{}", httpsBase()).makeRequest();
        QVERIFY(request);
        QCOMPARE(request->method, "PUT");
        QCOMPARE(request->body, QByteArray("{}"));
        QCOMPARE(request->request.transferTimeout(), 60'000);
        QCOMPARE(sorted(request->request.rawHeaderList()),
                 (QList<QByteArray>{"Authorization", "Content-Type"}));
        QCOMPARE(request->request.rawHeader("Authorization"), "Bearer tok");

        const auto texts =
            TextsEndpoint::preset(u"tok"_s, 1, u"x"_s, u"%5B%5D"_s, httpsBase()).makeRequest();
        QCOMPARE(texts->request.rawHeaderList(), QList<QByteArray>{"Authorization"});
        QCOMPARE(texts->method, "POST");
    }

    void sendOperationsAddAppVersionOnlyWhenKnown() {
        const auto endpoint = UserEndpoint::show(u"tok"_s, httpsBase());
        QCoreApplication::setApplicationVersion(QString());
        QVERIFY(!BaseNetworkClient::prepare(endpoint)->request.hasRawHeader("App-Version"));
        QCoreApplication::setApplicationVersion(u"1.2.3"_s);
        QCOMPARE(BaseNetworkClient::prepare(endpoint)->request.rawHeader("App-Version"), "1.2.3");
        QCoreApplication::setApplicationVersion(QString());
    }

    void signInTokens() {
        QSet<QString> seen;
        QHash<QChar, int> counts;
        for (int i = 0; i < 2000; ++i) {
            const QString token = SignIn::makeToken();
            QCOMPARE(token.size(), 24);
            for (const QChar c : token) {
                QVERIFY(SignIn::tokenAlphabet.contains(c));
                ++counts[c];
            }
            seen.insert(token);
        }
        QCOMPARE(seen.size(), 2000);
        // 48000 draws over 62 characters: each about 774 times; every one shows up, none
        // dominates (a modulo bias towards the first two would show as ~1.03x, too small to
        // test here; the rejection is in the code).
        QCOMPARE(counts.size(), 62);
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            QVERIFY2(it.value() > 600 && it.value() < 950, qPrintable(QString(it.key())));

        // The page gets the verifier's hash, never the verifier.
        const QString challenge = SignIn::challengeFor(u"abc"_s);
        QCOMPARE(challenge.size(), 64);
        QCOMPARE(SignIn::browserPageUrl(httpsBase(), u"abc"_s).toString(),
                 u"https://orvane.example.org:443/users/log_in?token=abc&challenge="_s + challenge);
        QCOMPARE(SignIn::browserPageUrl(httpsBase(), u"abc"_s, true).toString(),
                 u"https://orvane.example.org:443/users/register?token=abc&challenge="_s +
                     challenge);
        QVERIFY(SignIn::challengeFor(u"abd"_s) != challenge);
        QVERIFY(!SignIn::browserPageUrl(httpsBase(), u"abc"_s)
                     .toString()
                     .contains(SignIn::verifierFor(u"abc"_s)));
    }
};

QTEST_GUILESS_MAIN(TestEndpoint)
#include "tst_endpoint.moc"
