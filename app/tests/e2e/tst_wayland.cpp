#include "core/timer.h"
#include "desktopapp.h"
#include "platform/virtualkeys.h"
#include "platform/wayland/waylandconnection.h"
#include "platform/wayland/waylandkeyboardmanager.h"
#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

/*
 * The real orvane and orvane-service under a headless sway, with mousepad as the Wayland
 * editor: "orvane --trigger widget" captures through the virtual keyboard and data control,
 * replace goes back into the editor, read from the file mousepad saves.
 */

namespace {

using Model = ScriptedModelServer;

const QString email = QStringLiteral("writer@example.org");
// sway refuses to run as root, so it runs as this user when the test is root.
const char* const swayUser = "orvane-sway";

/** Runs a command as the test's own tool and says whether it worked. */
bool run(const QString& program, const QStringList& arguments) {
    int code = -1;
    runTool(program, arguments, &code);
    return code == 0;
}

/** A headless sway of its own; root clients reach it through its socket's path. */
class SwaySession {
public:
    SwaySession() {
        QString config = m_dir.filePath("config");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("xwayland disable\n"
                   "output HEADLESS-1 resolution 1280x800\n"
                   "for_window [app_id=\"org.orvane.Orvane\"] floating enable\n");
        file.close();

        QProcessEnvironment environment;
        environment.insert("PATH", qEnvironmentVariable("PATH"));
        environment.insert("HOME", m_dir.path());
        environment.insert("XDG_RUNTIME_DIR", m_dir.path());
        environment.insert("WLR_BACKENDS", "headless");
        environment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
        environment.insert("WLR_RENDERER", "pixman");
        m_sway.setProcessEnvironment(environment);
        m_sway.setProcessChannelMode(QProcess::MergedChannels);
        if (geteuid() != 0) {
            m_sway.start("sway", {"-c", config});
        } else {
            if (!getpwnam(swayUser) && !run("useradd", {"--system", "--no-create-home", "--shell",
                                                        "/usr/sbin/nologin", swayUser}))
                return;
            const passwd* user = getpwnam(swayUser);
            if (!user || chown(qPrintable(m_dir.path()), user->pw_uid, user->pw_gid) != 0)
                return;
            m_sway.start("setpriv", {QString("--reuid=%1").arg(user->pw_uid),
                                     QString("--regid=%1").arg(user->pw_gid), "--clear-groups",
                                     "sway", "-c", config});
        }
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_sway.state() != QProcess::NotRunning) {
            const QStringList sockets = QDir(m_dir.path()).entryList({"wayland-*"}, QDir::System);
            const QStringList ipc = QDir(m_dir.path()).entryList({"sway-ipc.*"}, QDir::System);
            for (const QString& socket : sockets) {
                if (!socket.endsWith(".lock") && !ipc.isEmpty()) {
                    m_display = m_dir.filePath(socket);
                    m_ipc = m_dir.filePath(ipc.constFirst());
                    return;
                }
            }
            QTest::qWait(50);
        }
    }
    ~SwaySession() {
        m_sway.terminate();
        if (!m_sway.waitForFinished(5000))
            m_sway.kill();
        m_sway.waitForFinished(3000);
    }

    [[nodiscard]] bool isRunning() const { return !m_display.isEmpty(); }
    [[nodiscard]] QString log() { return QString::fromUtf8(m_sway.readAll()); }

    /** What a Wayland client of this compositor needs, on top of the test's environment. */
    [[nodiscard]] QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment environment;
        environment.insert("WAYLAND_DISPLAY", m_display);
        environment.insert("SWAYSOCK", m_ipc);
        environment.insert("XDG_RUNTIME_DIR", m_clientRuntime.path());
        environment.insert("QT_QPA_PLATFORM", "wayland");
        environment.insert("GDK_BACKEND", "wayland");
        return environment;
    }

    /** The windows sway shows: app_id (or name), pid, focus and title, from its tree. */
    [[nodiscard]] QList<QJsonObject> windows() const {
        QProcess swaymsg;
        swaymsg.setProcessEnvironment(merged(clientEnvironment()));
        swaymsg.start("swaymsg", {"-r", "-t", "get_tree"});
        swaymsg.waitForFinished(10000);
        QList<QJsonObject> found;
        collect(QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).object(), found);
        return found;
    }
    [[nodiscard]] std::optional<QJsonObject> window(const QString& title) const {
        for (const QJsonObject& node : windows()) {
            // Qt adds the application's name to the title.
            if (node.value("name").toString().startsWith(title))
                return node;
        }
        return std::nullopt;
    }
    [[nodiscard]] bool focused(const QString& appId) const {
        for (const QJsonObject& node : windows()) {
            if (node.value("app_id").toString() == appId && node.value("focused").toBool())
                return true;
        }
        return false;
    }

    static QProcessEnvironment merged(const QProcessEnvironment& extra) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.insert(extra);
        return environment;
    }

private:
    static void collect(const QJsonObject& node, QList<QJsonObject>& found) {
        if (node.contains("pid"))
            found.append(node);
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : node.value(key).toArray())
                collect(child.toObject(), found);
        }
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_clientRuntime;
    QProcess m_sway;
    QString m_display;
    QString m_ipc;
};

} // namespace

class WaylandTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SwaySession> m_sway;
    std::unique_ptr<Model> m_model;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_deviceKey;

    /** The output of a wl-clipboard tool run in the compositor, or empty. */
    QString wayland(const QString& tool, const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(SwaySession::merged(m_sway->clientEnvironment()));
        process.start(tool, arguments);
        process.waitForFinished(5000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    QString clipboard(const QStringList& arguments = {}) const {
        return wayland("wl-paste", arguments + QStringList{"--no-newline"});
    }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable("sway").isEmpty())
            QSKIP("sway is not installed (scripts/setup installs it)");
        m_sway = std::make_unique<SwaySession>();
        QVERIFY2(m_sway->isRunning(), qPrintable(m_sway->log()));
    }

    void init() {
        m_model = std::make_unique<Model>();
        m_service = serviceFinding(*m_model);
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        m_deviceKey = m_service->createUserWithKey(email);
        QVERIFY(!m_deviceKey.isEmpty());
    }

    void cleanup() {
        if (QTest::currentTestFailed())
            qInfo().noquote() << "sway log:\n" << m_sway->log();
        m_service.reset();
        m_model.reset();
    }

    // What sway offers is what the report names: nothing is left to the portals.
    void checkNamesTheCompositorsProtocols() {
        QProcess check;
        check.setProcessEnvironment(SwaySession::merged(m_sway->clientEnvironment()));
        check.start(DesktopApp().binary(), {"--check"});
        QVERIFY(check.waitForFinished(30000));
        const QString report = QString::fromUtf8(check.readAllStandardOutput());
        for (const char* means :
             {"the compositor's virtual keyboard", "the compositor's data-control protocol",
              "the compositor's toplevel list"})
            QVERIFY2(report.contains(QLatin1String(means)), qPrintable(report));
    }

    void replaceInWaylandEditor() {
        DesktopApp app;
        app.storeUser(email, m_deviceKey);
        QVERIFY(app.start(m_service->url(QString()).toString(), m_sway->clientEnvironment()));
        QTemporaryDir editorDir;
        const QString file = editorDir.filePath("note.txt");
        {
            QFile note(file);
            QVERIFY(note.open(QIODevice::WriteOnly));
            note.write("Their going to the libary tomorow.\nSecond line\n");
        }
        QProcessEnvironment editorEnvironment = m_sway->clientEnvironment();
        editorEnvironment.insert("XDG_CONFIG_HOME", editorDir.filePath("config"));
        editorEnvironment.insert("XDG_DATA_HOME", editorDir.filePath("data"));
        editorEnvironment.insert("NO_AT_BRIDGE", "1");
        QProcess editor;
        editor.setProcessEnvironment(SwaySession::merged(editorEnvironment));
        editor.start("mousepad", {"--disable-server", file});
        QTRY_VERIFY_WITH_TIMEOUT(m_sway->focused("mousepad"), 20000);

        // The test types with a virtual keyboard of its own, as a user's keyboard would.
        qputenv("WAYLAND_DISPLAY", m_sway->clientEnvironment().value("WAYLAND_DISPLAY").toUtf8());
        const std::shared_ptr<WaylandConnection> connection = WaylandConnection::open();
        QVERIFY(connection && connection->virtualKeyboardManager());
        SystemTimerSource timers;
        WaylandKeyboardManager keyboard(connection, timers);
        using namespace ModifierFlags;
        const QDeadlineTimer selecting(15000);
        while (clipboard({"--primary"}) != "Their going to the libary tomorow." &&
               !selecting.hasExpired()) {
            keyboard.postKeystroke(VirtualKeys::home, command);
            keyboard.postKeystroke(VirtualKeys::end, shift);
            QTest::qWait(200);
        }
        QCOMPARE(clipboard({"--primary"}), QStringLiteral("Their going to the libary tomorow."));

        // What the user had copied before must be there again afterwards.
        wayland("wl-copy", {"kept"});
        QTRY_COMPARE(clipboard(), QStringLiteral("kept"));
        m_model->setScript({Model::text("They're going to the library tomorrow."), Model::done()});
        const QDeadlineTimer opening(40000);
        while (!m_sway->window("Orvane Widget") && !opening.hasExpired()) {
            int exitCode = -1;
            runTool(app.binary(), {"--trigger", "widget"}, &exitCode);
            // Refused until the user is synchronised and the widget's actions are bound.
            (void)QTest::qWaitFor([&] { return m_sway->window("Orvane Widget").has_value(); },
                                  exitCode == 0 ? 5000 : 200);
        }
        const std::optional<QJsonObject> widget = m_sway->window("Orvane Widget");
        QVERIFY2(widget, "the widget did not open");
        QCOMPARE(widget->value("pid").toInteger(), app.processId());

        // The first prompt runs on the captured text; Return on the answer replaces.
        QTRY_VERIFY_WITH_TIMEOUT(m_sway->focused("org.orvane.Orvane"), 10000);
        keyboard.postKeystroke(VirtualKeys::returnKey, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->finishedConnections(), 1, 20000);
        QVERIFY2(QJsonDocument(m_model->requests().value(0))
                     .toJson()
                     .contains("Their going to the libary tomorow."),
                 QJsonDocument(m_model->requests().value(0)).toJson());
        const QDeadlineTimer replacing(20000);
        while (m_sway->window("Orvane Widget") && !replacing.hasExpired()) {
            keyboard.postKeystroke(VirtualKeys::returnKey, 0);
            QTest::qWait(1000);
        }
        QVERIFY2(!m_sway->window("Orvane Widget"), "Return did not replace the selection");

        const QByteArray expected = "They're going to the library tomorrow.\nSecond line\n";
        QByteArray saved;
        const QDeadlineTimer saving(10000);
        while (saved != expected && !saving.hasExpired()) {
            keyboard.postKeystroke(VirtualKeys::s, command);
            QTest::qWait(300);
            QFile note(file);
            if (note.open(QIODevice::ReadOnly))
                saved = note.readAll();
        }
        QCOMPARE(saved, expected);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QStringLiteral("kept"), 10000);
        editor.terminate();
        editor.waitForFinished(3000);
    }
};

QTEST_MAIN(WaylandTest)
#include "tst_wayland.moc"
