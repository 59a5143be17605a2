#include "service/endpoint.h"
#include "service/servicebase.h"
#include "service/signintoken.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestEndpoint : public QObject {
    Q_OBJECT

    const ServiceBase m_https = *ServiceBase::parse(u"https://orvane.example.org"_s);

private Q_SLOTS:
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
        const auto request = PresetsEndpoint::update(u"tok"_s, 42, "{}", m_https).makeRequest();
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

        // The page gets the verifier's hash, never the verifier.
        const QString challenge = SignIn::challengeFor(u"abc"_s);
        QCOMPARE(SignIn::browserPageUrl(m_https, u"abc"_s).toString(),
                 u"https://orvane.example.org:443/users/log_in?token=abc&challenge="_s + challenge);
        QVERIFY(SignIn::challengeFor(u"abd"_s) != challenge);
        QVERIFY(!SignIn::browserPageUrl(m_https, u"abc"_s)
                     .toString()
                     .contains(SignIn::verifierFor(u"abc"_s)));
    }
};

QTEST_GUILESS_MAIN(TestEndpoint)
#include "tst_endpoint.moc"
