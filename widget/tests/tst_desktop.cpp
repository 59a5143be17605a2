#include "chatmodelserver.h"
#include "editorsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

/*
 * The whole road as a user walks it, in the test's X server: mousepad holds a
 * sentence, the real orvane captures it on Ctrl+Alt+C, runs a prompt against the
 * real orvane-service (whose model is a scripted server on loopback), and pastes
 * the answer back into mousepad, whose saved file must hold it.
 */

namespace {

const QString email = QStringLiteral("writer@example.org");
const QByteArray original = "Their going to the libary tomorow.\nSecond line\n";
const QByteArray fixedByList = "They're going to the library tomorrow.\nSecond line\n";
const QByteArray fixedByHotkey = "They are going to the library tomorrow.\nSecond line\n";

QByteArray run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/** The real service on a free loopback port, with one user and a device key. */
class Service {
public:
    bool start(const QString& modelUrl) {
        const QString database = "sqlite:" + m_dir.filePath("db.sqlite");
        QFile password(m_dir.filePath("password"));
        if (!password.open(QIODevice::WriteOnly) || password.write("correct horse 1\n") < 0)
            return false;
        password.close();
        int code = 0;
        run(ORVANE_SERVICE_BINARY,
            {"user", "add", "--email", email, "--password-file", password.fileName(), "--database",
             database},
            &code);
        if (code != 0)
            return false;
        deviceKey = QString::fromUtf8(
                        run(ORVANE_SERVICE_BINARY,
                            {"device", "add", "--email", email, "--database", database}, &code))
                        .trimmed();
        if (code != 0 || deviceKey.isEmpty())
            return false;
        port = freePort();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(ORVANE_SERVICE_BINARY,
                        {"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--database",
                         database, "--llm-url", modelUrl, "--llm-model", "scripted"});
        const QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (request("GET", "/healthz").first == 200)
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    ~Service() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    [[nodiscard]] QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }

    std::pair<int, QByteArray> request(const QByteArray& method, const QString& path,
                                       const QByteArray& body = {}) {
        QNetworkRequest request(QUrl(url() + path));
        request.setRawHeader("Authorization", "Bearer " + deviceKey.toUtf8());
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000))
            reply->abort();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray answer = reply->readAll();
        reply->deleteLater();
        return {status, answer};
    }

    QString deviceKey;
    quint16 port = 0;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QNetworkAccessManager m_network;
};

/** The real application, signed in as the service's user, with settings of its own. */
class App {
public:
    bool start(const Service& service) {
        QSettings settings(m_dir.filePath("config/Orvane/Orvane.ini"), QSettings::IniFormat);
        const QJsonObject user{{"email", email}, {"userId", 1}, {"deviceKey", service.deviceKey}};
        settings.setValue(
            "UserSettings",
            QJsonDocument(QJsonObject{{"user", user}}).toJson(QJsonDocument::Compact));
        settings.sync();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        environment.insert("ORVANE_SERVICE_URL", service.url());
        environment.insert("ORVANE_CAPTURE_TIMEOUT_MS", "1000"); // a loaded machine copies slowly
        environment.insert("QT_QUICK_BACKEND", "software");
        environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(ORVANE_APP_BINARY);
        return m_process.waitForStarted(10000);
    }
    ~App() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    /** The widget window, when it is on screen. */
    [[nodiscard]] QString widgetWindow() const {
        const QByteArray found =
            run("xdotool", {"search", "--onlyvisible", "--pid",
                            QString::number(m_process.processId()), "--name", "^Orvane Widget$"});
        return QString::fromUtf8(found).split('\n', Qt::SkipEmptyParts).value(0);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

void screenshot(const QString& name) {
    const QString dir = qEnvironmentVariable("ORVANE_WIDGET_SHOTS");
    if (!dir.isEmpty())
        run("import", {"-window", "root", QDir(dir).filePath(name + ".png")});
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    bool selectFirstLine() { return EditorSession::xdotool({"key", "ctrl+Home", "shift+End"}); }

    /** Presses the hotkey over the selected first line until the widget shows (the app may still be
     * starting). */
    bool pressUntilWidget(EditorSession& editor, App& app, const QString& hotkey) {
        const QDeadlineTimer deadline(40000);
        while (!deadline.hasExpired()) {
            editor.focus();
            selectFirstLine();
            EditorSession::xdotool({"key", hotkey});
            const QDeadlineTimer shown(2500);
            while (!shown.hasExpired()) {
                if (!app.widgetWindow().isEmpty())
                    return true;
                QTest::qWait(100);
            }
        }
        return false;
    }

    /** Return replaces the selection once the answer is complete; earlier presses do nothing. */
    bool returnUntilHidden(App& app) {
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            EditorSession::xdotool({"key", "Return"});
            const QDeadlineTimer hidden(1000);
            while (!hidden.hasExpired()) {
                if (app.widgetWindow().isEmpty())
                    return true;
                QTest::qWait(100);
            }
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
    }

    void promptFromTheListAndFromItsOwnHotkey() {
        ChatModelServer model({{"They're ", "going to the ", "library tomorrow."},
                               {"They are ", "going to the ", "library tomorrow."}});
        Service service;
        QVERIFY2(service.start(model.baseUrl()), "orvane-service did not come up");
        // A prompt of the user's own with a hotkey no standard prompt has; it starts enabled.
        const QJsonObject preset{{"hotkey", "command+option+j"}, {"id", 0},
                                 {"name", "Fix with a key"},     {"global", false},
                                 {"temperature", 0.2},           {"system_message", "Fix it."},
                                 {"user_message", "Fix:"},       {"enabled_by_default", true}};
        QCOMPARE(service
                     .request("POST", "/api/0/presets",
                              QJsonDocument(QJsonObject{{"preset", preset}}).toJson())
                     .first,
                 200);

        EditorSession editor(original);
        QVERIFY(editor.isReady());
        App app;
        QVERIFY(app.start(service));

        // Ctrl+Alt+C, then Down and Return run the first prompt on the captured line.
        QVERIFY2(pressUntilWidget(editor, app, "ctrl+alt+c"), "the widget did not open");
        QTest::qWait(300);
        screenshot("desktop-captured");
        QVERIFY(EditorSession::xdotool({"key", "Down"}));
        QVERIFY(EditorSession::xdotool({"key", "Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(model.answered(), 1, 20000);
        QVERIFY2(model.requests().first().contains("Their going to the libary tomorow."),
                 model.requests().first());
        QTest::qWait(500);
        screenshot("desktop-result");
        QVERIFY2(returnUntilHidden(app), "Return did not replace the selection");
        QCOMPARE(editor.saveAndRead(fixedByList), fixedByList);

        // The prompt's own hotkey does the same without the list.
        QVERIFY2(pressUntilWidget(editor, app, "ctrl+alt+j"),
                 "the prompt hotkey did not open the widget");
        QTRY_COMPARE_WITH_TIMEOUT(model.answered(), 2, 20000);
        QVERIFY(model.requests().last().contains("They're going to the library tomorrow."));
        QVERIFY2(model.requests().last().contains("Fix it."), model.requests().last());
        QVERIFY2(returnUntilHidden(app), "Return did not replace the selection");
        QCOMPARE(editor.saveAndRead(fixedByHotkey), fixedByHotkey);
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
