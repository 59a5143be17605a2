#include "desktopapp.h"
#include "editorsession.h"
#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

/*
 * A prompt's own global hotkey in the test's X server: mousepad holds a sentence,
 * the real orvane captures it on the prompt's keys, runs that prompt against the
 * real orvane-service (whose model is a scripted server on loopback) and Return
 * pastes the answer back into mousepad, whose saved file must hold it.
 */

namespace {

using Model = ScriptedModelServer;

const QString email = QStringLiteral("writer@example.org");
const QByteArray original = "Their going to the libary tomorow.\nSecond line\n";
const QByteArray fixed = "They are going to the library tomorrow.\nSecond line\n";

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
    }

    void promptHotkeyRunsItsPromptOnTheSelection() {
        Model model;
        model.setScript({Model::text("They are "), Model::pause(40), Model::text("going to the "),
                         Model::pause(40), Model::text("library tomorrow."), Model::done()});
        ServiceProcess service({"--llm-url", model.baseUrl(), "--llm-model", "scripted"});
        QVERIFY2(service.isRunning(), qPrintable(service.failureMessage()));
        const QString key = service.createUserWithKey(email);
        // A prompt of the user's own with a hotkey no standard prompt has; it starts enabled.
        const QJsonObject preset{{"hotkey", "command+option+j"}, {"id", 0},
                                 {"name", "Fix with a key"},     {"global", false},
                                 {"temperature", 0.2},           {"system_message", "Fix it."},
                                 {"user_message", "Fix:"},       {"enabled_by_default", true}};
        QCOMPARE(service
                     .withKey("POST", "/api/0/presets", key,
                              QJsonDocument(QJsonObject{{"preset", preset}}).toJson())
                     .status,
                 200);

        EditorSession editor(original);
        QVERIFY(editor.isReady());
        DesktopApp app;
        app.storeUser(email, key);
        QVERIFY(app.start(service.url(QString()).toString()));

        // Ctrl+Alt+J opens the widget and runs the prompt at once, without the list.
        QVERIFY2(app.openWidgetOver(editor, "ctrl+alt+j"),
                 "the prompt hotkey did not open the widget");
        QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 1, 20000);
        const QByteArray request = QJsonDocument(model.requests().first()).toJson();
        QVERIFY2(request.contains("Their going to the libary tomorow."), request);
        QVERIFY2(request.contains("Fix it."), request);
        QVERIFY(app.waitForSettledAnswer());
        saveScreenshot("desktop-result");
        QVERIFY2(app.pressUntilWidgetHides({"Return"}), "Return did not replace the selection");
        QCOMPARE(editor.saveAndRead(fixed), fixed);
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
