#include "webpage/pageprotocol.h"
#include "webpage/webview.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class BridgeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reportsButtonThenSpanIdentifiers() {
        QCOMPARE(WebView::identifiers(R"(<button id="sign_in" class="x">Sign in</button>)"),
                 QStringList{"sign_in"});
        QCOMPARE(
            WebView::identifiers(R"(<BUTTON ID = "start"><span id="label">Go</span></BUTTON>)"),
            (QStringList{"start", "label"}));
        QCOMPARE(WebView::identifiers(R"(<div class="card"><p>Nothing here</p></div>)"),
                 QStringList{});
    }

    void reloadsAfterButtonsOnlyWithAReloadIdentifier() {
        WebView view;
        QSignalSpy actions(&view, &WebView::action);
        QSignalSpy loads(&view, &WebView::loadRequested);
        const PageProtocol::Load page{QUrl("http://127.0.0.1:9/web_view/new_report"), {}, {}, {}};
        view.setRequest(page);
        QCOMPARE(loads.count(), 1);
        view.receiveMessage(R"(<button id="send_report">Send</button>)");
        QCOMPARE(loads.count(), 1);

        PageProtocol::Load reloading = page;
        reloading.reloadActionId = "send_report";
        view.setRequest(reloading);
        view.receiveMessage(R"(<span id="hint">?</span>)");
        QCOMPARE(loads.count(), 2);
        view.receiveMessage(R"(<button id="send_report">Send</button>)");
        QCOMPARE(loads.count(), 3);
        QCOMPARE(loads.last().first().toUrl().path(), u"/web_view/new_report"_s);
        QCOMPARE(actions.count(), 3);
        QCOMPARE(actions.last().first().toString(), u"send_report"_s);
    }

    void commandsSurviveTheLineProtocol() {
        const PageProtocol::Load load{QUrl("http://127.0.0.1:8787/web_view/account?x=%C3%A9"),
                                      {{"Authorization", "Bearer k1"}, {"Dark-Theme", "True"}},
                                      "#1e1f23",
                                      "send_report"};
        const QByteArray stream = "noise from somewhere\n" + PageProtocol::loadCommand(load) +
                                  PageProtocol::quitCommand();
        // Split mid-line, as a pipe may deliver it.
        PageProtocol::LineReader reader;
        QList<QJsonObject> objects = reader.append(stream.left(40));
        objects += reader.append(stream.mid(40));
        QCOMPARE(objects.size(), 2);
        QVERIFY(PageProtocol::parseLoad(objects[0]) == load);
        QVERIFY(!PageProtocol::parseLoad(objects[1]));
        QCOMPARE(objects[1]["command"].toString(), u"quit"_s);
    }
};

QTEST_MAIN(BridgeTest)
#include "tst_bridge.moc"
