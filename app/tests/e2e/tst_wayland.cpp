#include "core/timer.h"
#include "desktopapp.h"
#include "platform/virtualkeys.h"
#include "platform/wayland/waylandconnection.h"
#include "platform/wayland/waylandkeyboardmanager.h"
#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
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
            if (!getpwnam(swayUser))
                QProcess::execute("useradd", {"--system", "--no-create-home", "--shell",
                                              "/usr/sbin/nologin", swayUser});
            const passwd* user = getpwnam(swayUser);
            if (!user || chown(qPrintable(m_dir.path()), user->pw_uid, user->pw_gid) != 0)
                return;
            m_sway.start("setpriv", {QString("--reuid=%1").arg(user->pw_uid),
                                     QString("--regid=%1").arg(user->pw_gid), "--clear-groups",
                                     "sway", "-c", config});
        }
        // The lock file of the socket matches no "wayland-?".
        const QDir dir(m_dir.path());
        (void)QTest::qWaitFor(
            [&] {
                const QStringList display = dir.entryList({"wayland-?"}, QDir::System);
                const QStringList ipc = dir.entryList({"sway-ipc.*"}, QDir::System);
                if (display.isEmpty() || ipc.isEmpty())
                    return m_sway.state() == QProcess::NotRunning;
                m_display = dir.filePath(display.constFirst());
                m_ipc = dir.filePath(ipc.constFirst());
                return true;
            },
            20000);
    }
    ~SwaySession() {
        m_sway.terminate();
        if (!m_sway.waitForFinished(5000))
            m_sway.kill();
        m_sway.waitForFinished(3000);
    }

    [[nodiscard]] bool isRunning() const { return !m_display.isEmpty(); }
    [[nodiscard]] QString log() { return QString::fromUtf8(m_sway.readAll()); }

    /** The test's environment as a Wayland client of this compositor sees it. */
    [[nodiscard]] QProcessEnvironment clientEnvironment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.insert("WAYLAND_DISPLAY", m_display);
        environment.insert("SWAYSOCK", m_ipc);
        environment.insert("XDG_RUNTIME_DIR", m_clientRuntime.path());
        environment.insert("QT_QPA_PLATFORM", "wayland");
        environment.insert("GDK_BACKEND", "wayland");
        return environment;
    }

    /** The first window sway shows whose key (app_id or name) starts with value. */
    [[nodiscard]] std::optional<QJsonObject> window(const char* key, const QString& value) const {
        const QByteArray tree =
            runTool("swaymsg", {"-r", "-t", "get_tree"}, nullptr, clientEnvironment());
        QList<QJsonObject> nodes{QJsonDocument::fromJson(tree).object()};
        while (!nodes.isEmpty()) {
            const QJsonObject node = nodes.takeFirst();
            if (node.contains("pid") && node.value(key).toString().startsWith(value))
                return node;
            for (const char* children : {"nodes", "floating_nodes"}) {
                for (const QJsonValue& child : node.value(children).toArray())
                    nodes.append(child.toObject());
            }
        }
        return std::nullopt;
    }
    // Qt adds the application's name to the title.
    [[nodiscard]] bool showsWidget() const { return window("name", "Orvane Widget").has_value(); }
    [[nodiscard]] bool focused(const QString& appId) const {
        const std::optional<QJsonObject> found = window("app_id", appId);
        return found && found->value("focused").toBool();
    }

private:
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

    /** The text on the clipboard (or with "--primary", the selection). */
    QString clipboard(const QStringList& arguments = {}) const {
        return QString::fromUtf8(runTool("wl-paste", arguments + QStringList{"--no-newline"},
                                         nullptr, m_sway->clientEnvironment()));
    }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable("sway").isEmpty())
            QSKIP("sway is not installed (scripts/setup installs it)");
        m_sway = std::make_unique<SwaySession>();
        QVERIFY2(m_sway->isRunning(), qPrintable(m_sway->log()));
    }

    void cleanup() {
        if (QTest::currentTestFailed())
            qInfo().noquote() << "sway log:\n" << m_sway->log();
    }

    void replaceInWaylandEditor() {
        Model model;
        const std::unique_ptr<ServiceProcess> service = serviceFinding(model);
        QVERIFY2(service->isRunning(), qPrintable(service->failureMessage()));
        DesktopApp app;
        app.storeUser(email, service->createUserWithKey(email));
        QVERIFY(app.start(service->url(QString()).toString(), m_sway->clientEnvironment()));
        QTemporaryDir editorDir;
        QFile note(editorDir.filePath("note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("Their going to the libary tomorow.\nSecond line\n");
        note.close();
        QProcessEnvironment editorEnvironment = m_sway->clientEnvironment();
        editorEnvironment.insert("XDG_CONFIG_HOME", editorDir.filePath("config"));
        editorEnvironment.insert("XDG_DATA_HOME", editorDir.filePath("data"));
        editorEnvironment.insert("NO_AT_BRIDGE", "1");
        QProcess editor;
        editor.setProcessEnvironment(editorEnvironment);
        editor.start("mousepad", {"--disable-server", note.fileName()});
        const auto stopEditor = qScopeGuard([&editor] {
            editor.terminate();
            editor.waitForFinished(3000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(m_sway->focused("mousepad"), 20000);

        // The test types with a virtual keyboard of its own, as a user's keyboard would.
        qputenv("WAYLAND_DISPLAY", m_sway->clientEnvironment().value("WAYLAND_DISPLAY").toUtf8());
        const std::shared_ptr<WaylandConnection> connection = WaylandConnection::open();
        QVERIFY(connection && connection->virtualKeyboardManager());
        SystemTimerSource timers;
        WaylandKeyboardManager keyboard(connection, timers);
        // Keys go out again until they take effect, each time after a pause.
        const auto pressUntil = [&keyboard](const QList<std::pair<int, quint64>>& keys, int pause,
                                            const std::function<bool()>& done) {
            return QTest::qWaitFor(
                [&] {
                    for (const auto& [key, flags] : keys)
                        keyboard.postKeystroke(key, flags);
                    QTest::qWait(pause);
                    return done();
                },
                20000);
        };
        using namespace ModifierFlags;
        const QString line = "Their going to the libary tomorow.";
        QVERIFY(pressUntil({{VirtualKeys::home, command}, {VirtualKeys::end, shift}}, 200,
                           [&] { return clipboard({"--primary"}) == line; }));

        // What the user had copied before must be there again afterwards.
        runTool("wl-copy", {"kept"}, nullptr, m_sway->clientEnvironment());
        QTRY_COMPARE(clipboard(), QStringLiteral("kept"));
        model.setScript({Model::text("They're going to the library tomorrow."), Model::done()});
        const bool opened = QTest::qWaitFor(
            [&] {
                int exitCode = -1;
                runTool(app.binary(), {"--trigger", "widget"}, &exitCode);
                // Refused until the user is synchronised and the widget's actions are bound.
                return QTest::qWaitFor([&] { return m_sway->showsWidget(); },
                                       exitCode == 0 ? 5000 : 200);
            },
            40000);
        QVERIFY2(opened, "the widget did not open");

        // The first prompt runs on the captured text; Return on the answer replaces.
        QTRY_VERIFY_WITH_TIMEOUT(m_sway->focused("org.orvane.Orvane"), 10000);
        keyboard.postKeystroke(VirtualKeys::returnKey, 0);
        QTRY_COMPARE_WITH_TIMEOUT(model.finishedConnections(), 1, 20000);
        const QByteArray request = QJsonDocument(model.requests().value(0)).toJson();
        QVERIFY2(request.contains(line.toUtf8()), request);
        QVERIFY2(
            pressUntil({{VirtualKeys::returnKey, 0}}, 1000, [&] { return !m_sway->showsWidget(); }),
            "Return did not replace the selection");

        const QByteArray expected = "They're going to the library tomorrow.\nSecond line\n";
        const auto saved = [&note] {
            note.close();
            return note.open(QIODevice::ReadOnly) ? note.readAll() : QByteArray();
        };
        (void)pressUntil({{VirtualKeys::s, command}}, 300, [&] { return saved() == expected; });
        QCOMPARE(saved(), expected);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QStringLiteral("kept"), 10000);
    }
};

QTEST_MAIN(WaylandTest)
#include "tst_wayland.moc"
