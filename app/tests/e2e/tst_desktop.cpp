#include "desktopapp.h"
#include "editorsession.h"
#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QClipboard>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <optional>

/*
 * The real orvane and the real orvane-service (whose model server, found by itself, is a
 * scripted server on loopback) in the test's X server, driven with keys like a user: the results
 * are read back from the file mousepad saves.
 */

namespace {

using Model = ScriptedModelServer;

const QString email = QStringLiteral("writer@example.org");
const QByteArray original = "Their going to the libary tomorow.\nSecond line\n";

QByteArray withFirstLine(const QByteArray& line) {
    return line + "\nSecond line\n";
}

QByteArray request(const Model& model, qsizetype index) {
    return QJsonDocument(model.requests().value(index)).toJson(QJsonDocument::Compact);
}

bool keys(const QStringList& names) {
    return EditorSession::xdotool(QStringList{"key"} + names);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** What the user had copied before, served by this process (pictures: the platform test's). */
void keepOnClipboard() {
    QGuiApplication::clipboard()->setText("kept text");
}

/** The app has taken the clipboard for its paste and put back what the user had. */
bool clipboardGivenBack() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return !clipboard->ownsClipboard() && clipboard->text() == "kept text";
}

/** A desktop's tray host as far as an item sees it: the StatusNotifierItem registry. */
class TrayWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    QString item; // the bus name of the item that registered
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString&, const QDBusMessage& message) {
        item = message.service();
    }
};

/** Reads one (ia{sv}av) menu layout node. */
void readNode(const QDBusArgument& node, int* id, QVariantMap* properties, QVariantList* children) {
    node.beginStructure();
    node >> *id >> *properties >> *children;
    node.endStructure();
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Model> m_model;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_deviceKey;

    bool startSignedIn(DesktopApp& app) {
        app.storeUser(email, m_deviceKey);
        return app.start(m_service->url(QString()).toString());
    }

    /** Opens the widget on the selection, runs the highlighted prompt and waits for its end. */
    bool runFirstPrompt(DesktopApp& app, EditorSession& editor, int answers,
                        const QString& hotkey = "ctrl+alt+c",
                        const QStringList& select = {"key", "ctrl+Home", "shift+End"}) {
        return app.openWidgetOver(editor, hotkey, select) && keys({"Return"}) &&
               QTest::qWaitFor([&] { return m_model->finishedConnections() == answers; }, 20000) &&
               app.waitForSettledAnswer();
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
    }

    void init() {
        m_model = std::make_unique<Model>();
        m_service = serviceFinding(*m_model);
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_deviceKey = m_service->createUserWithKey(email);
        QVERIFY(!m_deviceKey.isEmpty());
    }

    void cleanup() {
        if (QTest::currentTestFailed()) {
            saveScreenshot(QString::fromLatin1(QTest::currentTestFunction()));
            qInfo().noquote() << "orvane-service log:\n" << m_service->log();
        }
        m_service.reset();
        m_model.reset();
    }

    void promptRegenerateInsertBelowContinueCopyAndDiscard() {
        Model& model = *m_model;
        EditorSession editor(original);
        QVERIFY(editor.isReady());
        DesktopApp app;
        QVERIFY(startSignedIn(app));

        // The first prompt of the list is highlighted; Return does nothing while the answer streams
        // in.
        model.setScript({Model::text("They're "), Model::hold(), Model::text("going to the "),
                         Model::pause(50), Model::text("library tomorrow."), Model::done()});
        QVERIFY2(app.openWidgetOver(editor, "ctrl+alt+c"), "the widget did not open");
        QVERIFY(keys({"Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(model.requests().size(), 1, 20000);
        QVERIFY2(request(model, 0).contains("Their going to the libary tomorow."),
                 request(model, 0));
        QTRY_VERIFY_WITH_TIMEOUT(app.answerIsRunning(), 10000);
        QVERIFY(keys({"Return"}));
        QTest::qWait(300);
        QVERIFY(app.shows(WindowRoles::widget));
        QVERIFY(app.answerIsRunning());
        model.release();
        QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 1, 20000);
        QVERIFY(app.waitForSettledAnswer());

        // Regenerate asks again for the same text, without the answer it replaces.
        model.setScript({Model::text("They are going to the "), Model::pause(50),
                         Model::text("library tomorrow."), Model::done()});
        // R is let go before Ctrl, as fingers do: the widget acts on the key's release.
        QVERIFY(EditorSession::xdotool({"keydown", "ctrl"}));
        QVERIFY(keys({"r"}));
        QVERIFY(EditorSession::xdotool({"keyup", "ctrl"}));
        QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 2, 20000);
        QVERIFY(request(model, 1).contains("Their going to the libary tomorow."));
        QVERIFY2(!request(model, 1).contains("They're"), request(model, 1));
        keepOnClipboard();
        QVERIFY2(app.pressUntilWidgetHides({"Return"}), "Return did not replace the selection");
        // The widget hides before the paste keys go out; saving sooner would mix our Ctrl in.
        QTRY_VERIFY_WITH_TIMEOUT(clipboardGivenBack(), 10000);
        const QByteArray regenerated = withFirstLine("They are going to the library tomorrow.");
        QCOMPARE(editor.saveAndRead(regenerated), regenerated);

        // Insert below keeps the selection and puts the answer on a line of its own; the widget
        // opens with the command a desktop binds instead of a global hotkey.
        model.setScript({Model::text("(checked)"), Model::done()});
        QVERIFY2(runFirstPrompt(app, editor, 3, {}), "orvane --trigger widget did not open it");
        keepOnClipboard();
        QVERIFY(keys({"Down", "Down", "Return"}));
        QTRY_VERIFY_WITH_TIMEOUT(!app.shows(WindowRoles::widget), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(clipboardGivenBack(), 10000);
        const QByteArray inserted =
            withFirstLine("They are going to the library tomorrow.\n(checked)");
        QCOMPARE(editor.saveAndRead(inserted), inserted);

        // Continue with a typed command on the answer: the conversation goes along.
        model.setScript({Model::text("Ils vont à la bibliothèque."), Model::done()});
        QVERIFY(runFirstPrompt(app, editor, 4));
        model.setScript({Model::text("Ils vont."), Model::done()});
        QVERIFY(keys({"Down", "Down", "Down", "Return"}));
        QTest::qWait(300);
        QVERIFY(EditorSession::xdotool({"type", "--delay", "20", "Shorter"}));
        QVERIFY(keys({"Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 5, 20000);
        QVERIFY2(request(model, 4).contains("Shorter"), request(model, 4));
        QVERIFY2(request(model, 4).contains("Ils vont \\u00e0 la biblioth") ||
                     request(model, 4).contains("Ils vont à la biblioth"),
                 request(model, 4));
        QVERIFY(app.waitForSettledAnswer());

        // Copy leaves the widget open and the file alone; Up from the first action is discard.
        QVERIFY(keys({"Down", "Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), QStringLiteral("Ils vont."),
                                  10000);
        QVERIFY(app.shows(WindowRoles::widget));
        QVERIFY(keys({"Up", "Up", "Return"}));
        QTRY_VERIFY_WITH_TIMEOUT(!app.shows(WindowRoles::widget), 10000);
        QCOMPARE(editor.saveAndRead(inserted), inserted);
    }

    // A prompt of the user's own with a hotkey runs at once on the selection, without the list.
    void promptHotkeyRunsItsPromptOnTheSelection() {
        const QJsonObject preset{{"hotkey", "command+option+j"}, {"id", 0},
                                 {"name", "Fix with a key"},     {"global", false},
                                 {"temperature", 0.2},           {"system_message", "Fix it."},
                                 {"user_message", "Fix:"},       {"enabled_by_default", true}};
        const QByteArray body = QJsonDocument(QJsonObject{{"preset", preset}}).toJson();
        QCOMPARE(m_service->withKey("POST", "/api/0/presets", m_deviceKey, body).status, 200);
        EditorSession editor(original);
        QVERIFY(editor.isReady());
        DesktopApp app;
        QVERIFY(startSignedIn(app));

        m_model->setScript({Model::text("They are "), Model::pause(40),
                            Model::text("going to the library tomorrow."), Model::done()});
        QVERIFY2(app.openWidgetOver(editor, "ctrl+alt+j"), "the prompt hotkey did not open it");
        QTRY_COMPARE_WITH_TIMEOUT(m_model->finishedConnections(), 1, 20000);
        QVERIFY2(request(*m_model, 0).contains("Fix it.") &&
                     request(*m_model, 0).contains("Their going to the libary tomorow."),
                 request(*m_model, 0));
        QVERIFY(app.waitForSettledAnswer());
        QVERIFY2(app.pressUntilWidgetHides({"Return"}), "Return did not replace the selection");
        const QByteArray fixed = withFirstLine("They are going to the library tomorrow.");
        QCOMPARE(editor.saveAndRead(fixed), fixed);
    }

    // In a terminal the hotkey leaves the running command alone (no Ctrl+C), and the answer
    // goes in at the shell's cursor, where the command after it reads it.
    void terminalKeepsItsCommandAndTakesTheAnswerAtItsCursor() {
        EditorSession terminal(
            "", "xterm",
            {"-geometry", "60x8+0+0", "-e", "sh", "-c",
             "stty -icanon; echo orvanemarker; sleep 100 & echo $! > \"$0.pid\"; "
             "wait $!; cat > \"$0\"",
             "%f"});
        QVERIFY(terminal.isReady());
        QTRY_VERIFY(contentOf(terminal.filePath() + ".pid").toInt() > 0);
        const pid_t sleeper = contentOf(terminal.filePath() + ".pid").toInt();
        const auto stopSleeper = qScopeGuard([sleeper] { ::kill(sleeper, SIGTERM); });
        DesktopApp app;
        QVERIFY(startSignedIn(app));

        m_model->setScript({Model::text("the answer"), Model::done()});
        const QString window = QString::number(terminal.window().windowId);
        QVERIFY(runFirstPrompt(
            app, terminal, 1, "ctrl+alt+c",
            {"mousemove", "--window", window, "20", "8", "click", "--repeat", "2", "1"}));
        QVERIFY2(request(*m_model, 0).contains("orvanemarker"), request(*m_model, 0));
        QVERIFY2(::kill(sleeper, 0) == 0 && terminal.isRunning(), "the command was interrupted");

        // Insert at cursor comes first: there is no selection to replace. xterm pastes the
        // primary selection, which it gets back afterwards; the clipboard stays as it was.
        keepOnClipboard();
        QVERIFY2(app.pressUntilWidgetHides({"Return"}), "Return did not paste");
        QCOMPARE(::kill(sleeper, SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(terminal.filePath()).endsWith("the answer"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(QClipboard::Selection),
                                  QStringLiteral("orvanemarker"), 10000);
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
    }

    void trayMenuOnAStatusNotifierHost() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        TrayWatcher watcher;
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", &watcher,
                                   QDBusConnection::ExportAllContents));
        if (!bus.registerService("org.kde.StatusNotifierWatcher"))
            QSKIP("the session bus has a tray host of its own");
        DesktopApp app;
        QVERIFY(startSignedIn(app));
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.item.isEmpty(), 20000);

        QDBusInterface menu(watcher.item, "/MenuBar", "com.canonical.dbusmenu", bus);
        const QDBusMessage layout = menu.call("GetLayout", 0, -1, QStringList());
        QCOMPARE(layout.type(), QDBusMessage::ReplyMessage);
        int id = 0;
        QVariantMap properties;
        QVariantList items;
        readNode(layout.arguments().at(1).value<QDBusArgument>(), &id, &properties, &items);
        // Seven items between three separators; the last one, Quit, with its key.
        QCOMPARE(items.size(), 10);
        QVariantList none;
        readNode(items.constLast().value<QDBusArgument>(), &id, &properties, &none);
        QVERIFY(properties.contains("shortcut"));
        menu.call("Event", id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u);
        QTRY_VERIFY_WITH_TIMEOUT(!app.isRunning(), 10000);
        bus.unregisterService("org.kde.StatusNotifierWatcher");
    }

    void noConnectionWindowWhileTheServiceIsAway() {
        const quint16 port = m_service->port();
        QCOMPARE(m_service->terminate(), 0);
        DesktopApp app;
        app.storeUser(email, m_deviceKey);
        QVERIFY(app.start(QStringLiteral("http://127.0.0.1:%1").arg(port)));

        // The app owns up after 15 tries, 2 s apart.
        QTRY_VERIFY_WITH_TIMEOUT(app.shows(WindowRoles::noConnection), 40000);
        QVERIFY2(m_service->start(port), qPrintable(m_service->failureMessage()));
        QTRY_VERIFY_WITH_TIMEOUT(!app.shows(WindowRoles::noConnection), 10000);
        QVERIFY(app.isRunning());
    }

    void pastesOnlyWhereTheTextCameFrom_data() {
        QTest::addColumn<QByteArray>("secondText");
        QTest::addColumn<QString>("whileStreaming"); // focusSecond, closeFirst, modelFails or ""
        QTest::addColumn<QByteArray>("firstAfter");
        QTest::addColumn<QByteArray>("secondAfter");
        const QByteArray answer = "They're going to the library tomorrow.";
        QTest::newRow("focus moved") << QByteArray("other\n") << "focusSecond"
                                     << withFirstLine(answer) << QByteArray("other\n");
        QTest::newRow("source closed")
            << QByteArray("other\n") << "closeFirst" << QByteArray() << QByteArray("other\n");
        // The part that came stays, marked as failed, and its first action is Copy.
        QTest::newRow("model fails mid-answer")
            << QByteArray("other\n") << "modelFails" << original << QByteArray("other\n");
        // Nothing selected in the second: no prompt runs, the typed command's answer goes
        // in at its cursor, never into the first.
        QTest::newRow("empty capture")
            << QByteArray("\nother\n") << QString() << original << "Hi" + QByteArray("\nother\n");
    }
    void pastesOnlyWhereTheTextCameFrom() {
        QFETCH(QByteArray, secondText);
        QFETCH(QString, whileStreaming);
        QFETCH(QByteArray, firstAfter);
        QFETCH(QByteArray, secondAfter);
        Model& model = *m_model;
        std::optional<EditorSession> first(std::in_place, original);
        QVERIFY(first->isReady());
        // Another editor than mousepad, which takes the pastes of the empty capture.
        EditorSession second(secondText, "l3afpad");
        QVERIFY(second.isReady());
        DesktopApp app;
        QVERIFY(startSignedIn(app));
        keepOnClipboard();
        const bool empty = secondText.startsWith('\n');
        const bool fails = whileStreaming == "modelFails";

        if (empty) {
            model.setScript({Model::text("Hi"), Model::done()});
            QVERIFY(app.openWidgetOver(second, "ctrl+alt+c"));
            // The first prompt is highlighted, but there is no text for it.
            QVERIFY(keys({"Return"}));
            QTRY_VERIFY_WITH_TIMEOUT(app.widgetShowsError(), 10000);
            QVERIFY(EditorSession::xdotool({"type", "--delay", "20", "Say hi"}));
            QVERIFY(keys({"Return"}));
            QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 1, 20000);
            QCOMPARE(model.requests().size(), 1);
            QVERIFY(app.waitForSettledAnswer());
        } else if (fails) {
            model.setScript(
                {Model::text("They're going"), Model::pause(100), Model::closeConnection()});
            QVERIFY(app.openWidgetOver(*first, "ctrl+alt+c"));
            QVERIFY(!app.widgetShowsError());
            QVERIFY(keys({"Return"}));
            QTRY_VERIFY_WITH_TIMEOUT(app.widgetShowsError(), 20000);
            QVERIFY(app.waitForSettledAnswer());
        } else {
            model.setScript({Model::text("They're "), Model::hold(),
                             Model::text("going to the library tomorrow."), Model::done()});
            QVERIFY(app.openWidgetOver(*first, "ctrl+alt+c"));
            QVERIFY(keys({"Return"}));
            QTRY_VERIFY_WITH_TIMEOUT(app.answerIsRunning(), 20000);
            if (whileStreaming == "focusSecond")
                QVERIFY(second.focus());
            else
                first.reset();
            // The hold may not be reached yet: release until the answer is through.
            QTRY_VERIFY_WITH_TIMEOUT((model.release(), model.finishedConnections() == 1), 20000);
            // The user clicks back into the widget, which stayed up with the answer.
            QVERIFY(app.shows(WindowRoles::widget));
            QVERIFY(EditorSession::xdotool(
                {"windowactivate", "--sync", app.window(WindowRoles::widget)}));
            QVERIFY(app.waitForSettledAnswer());
        }
        if (first && !fails) {
            // The first action pastes: Replace, or Insert at cursor after an empty capture.
            QVERIFY2(app.pressUntilWidgetHides({"Return"}), "Return did not paste");
            QTRY_VERIFY_WITH_TIMEOUT(clipboardGivenBack(), 10000);
        } else {
            // Nothing is pasted: the widget says why and Copy comes first.
            if (!fails) {
                QVERIFY(keys({"Return"}));
                QTRY_VERIFY_WITH_TIMEOUT(app.widgetShowsError(), 10000);
            }
            QVERIFY(keys({"Return"}));
            QTRY_COMPARE_WITH_TIMEOUT(
                QGuiApplication::clipboard()->text(),
                fails ? QStringLiteral("They're going")
                      : QStringLiteral("They're going to the library tomorrow."),
                10000);
            QVERIFY(keys({"Escape"}));
            QTRY_VERIFY_WITH_TIMEOUT(!app.shows(WindowRoles::widget), 10000);
        }
        if (first) {
            QVERIFY(first->focus());
            QCOMPARE(first->saveAndRead(firstAfter), firstAfter);
        }
        QVERIFY(second.focus());
        QCOMPARE(second.saveAndRead(secondAfter), secondAfter);

        // A moved highlight does not carry over: the next opening runs the first prompt again.
        if (whileStreaming == "focusSecond") {
            QVERIFY(app.openWidgetOver(*first, "ctrl+alt+c"));
            QVERIFY(keys({"Down", "Escape"}));
            QTRY_VERIFY_WITH_TIMEOUT(!app.shows(WindowRoles::widget), 10000);
            model.setScript({Model::text("(again)"), Model::done()});
            QVERIFY(app.openWidgetOver(*first, "ctrl+alt+c"));
            QVERIFY(keys({"Return"}));
            QTRY_COMPARE_WITH_TIMEOUT(model.requests().size(), 2, 20000);
            QCOMPARE(request(model, 1).replace("They're going to the library tomorrow.",
                                               "Their going to the libary tomorow."),
                     request(model, 0));
        }
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
