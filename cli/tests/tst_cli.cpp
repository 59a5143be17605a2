#include "scriptedserver.h"
#include "service/userdto.h"
#include "store/appsettings.h"
#include "store/userstore.h"
#include "temporarysettings.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray presetsBody =
    R"({"data":[)"
    R"({"hotkey":"command+option+1","id":7,"name":"Fix spelling","global":true,"temperature":0.2,"system_message":"s","user_message":"u","enabled_by_default":true},)"
    R"({"hotkey":"","id":8,"name":"Shorter\tone","global":true,"temperature":0.2,"system_message":"s","user_message":"u","enabled_by_default":false},)"
    R"({"hotkey":"command+shift+k","id":21,"name":"Mine","global":false,"temperature":1,"system_message":"s","user_message":"u","enabled_by_default":false}]})";

/** One run of the built orvane-cli with its own settings directory and service URL. */
class Cli {
public:
    Cli(const QString& settingsDir, const QString& serviceUrl) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, settingsDir);
        env.insert(u"HOME"_s, settingsDir);
        env.insert(u"ORVANE_SERVICE_URL"_s, serviceUrl);
        env.remove(u"QT_LOGGING_RULES"_s);
        m_process.setProcessEnvironment(env);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { m_out += m_process.readAllStandardOutput(); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                         [this] { m_err += m_process.readAllStandardError(); });
    }
    void start(const QStringList& arguments, const QByteArray& input = {}) {
        m_process.start(QStringLiteral(ORVANE_CLI_PATH), arguments);
        QVERIFY(m_process.waitForStarted(5000));
        m_process.write(input);
        m_process.closeWriteChannel();
    }
    /** Waits for the exit without blocking the event loop (the scripted server lives here). */
    int waitForExit(int timeoutMs = 15'000) {
        if (!QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs))
            return -1;
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    void run(const QStringList& arguments, const QByteArray& input = {}) {
        start(arguments, input);
        status = waitForExit();
    }
    [[nodiscard]] bool running() const { return m_process.state() == QProcess::Running; }
    [[nodiscard]] QString out() const { return QString::fromUtf8(m_out); }
    [[nodiscard]] QString err() const { return QString::fromUtf8(m_err); }

    int status = -3;

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

void storeSignedInUser() {
    UserStore store;
    store.setUser(UserDto{u"ada@example.org"_s, 42, u"dk-1"_s});
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        m_settings = std::make_unique<TemporarySettings>();
        m_server = std::make_unique<ScriptedServer>();
        m_chunked = std::make_unique<ScriptedServer>(true); // answers streamed by the test
    }
    void cleanup() {
        m_runs.clear();
        m_chunked.reset();
        m_server.reset();
        m_settings.reset();
    }

    void refusedBeforeAnyAnswer_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("signedIn");
        // Empty: the scripted server; "gone": a server that has stopped, named as %url.
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const QStringList& arguments, bool signedIn,
                            const QString& url, int exitCode, const QString& message) {
            QTest::newRow(name) << arguments << signedIn << url << exitCode << message;
        };
        row("unknown command", {u"frobnicate"_s}, false, {}, 2, u"unknown command"_s);
        row("user, signed out", {u"user"_s}, false, {}, 1, u"Not signed in"_s);
        row("plain HTTP elsewhere", {u"user"_s}, true, u"http://orvane.example.org"_s, 1,
            u"Refusing service URL \"http://orvane.example.org\""_s);
        row("run, service gone", {u"run"_s, u"--preset"_s, u"1"_s}, true, u"gone"_s, 1, u"%url"_s);
        row("login, service gone", {u"login"_s}, false, u"gone"_s, 1, u"sign-in connection"_s);
    }
    void refusedBeforeAnyAnswer() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, signedIn);
        QFETCH(QString, url);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        if (signedIn)
            storeSignedInUser();
        if (url == u"gone"_s) {
            url = m_chunked->baseUrl();
            m_chunked.reset();
        }
        const Cli& cli = run(arguments, "x", url);
        QCOMPARE(cli.status, exitCode);
        QVERIFY2(cli.err().contains(message.replace(u"%url"_s, url)), qPrintable(cli.err()));
        QVERIFY(m_server->requests().isEmpty());
        // Nothing signs the user in or out on the way.
        QCOMPARE(AppSettings().userSettings().user.has_value(), signedIn);
    }

    void signedInCommands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status"); // of the scripted answer
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<qint64>>("stored"); // enabled prompts kept in the settings
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // exactly, or what the error output contains
        QTest::addColumn<bool>("signedInAfter");
        const auto row = [](const char* name, const QString& command, int status,
                            const QByteArray& body, int exitCode, const QString& out,
                            bool signedInAfter = true, const QList<qint64>& stored = {}) {
            QTest::newRow(name) << command << status << body << stored << exitCode << out
                                << signedInAfter;
        };
        row("user", u"user"_s, 200,
            R"({"data":{"email":"ada@example.org","id":42,"device_key":"dk-1"}})", 0,
            u"email: ada@example.org\nid: 42\n"_s);
        row("user, key refused", u"user"_s, 401, "{}", 1, u"orvane-cli login"_s);
        // Nothing stored: each prompt's enabled-by-default decides.
        row("presets", u"presets"_s, 200, presetsBody, 0,
            u"7\tFix spelling\tcommand+option+1\tyes\n8\tShorter one\t-\tno\n"
            "21\tMine\tcommand+shift+k\tno\n"_s);
        row("presets, stored choice", u"presets"_s, 200, presetsBody, 0,
            u"7\tFix spelling\tcommand+option+1\tno\n8\tShorter one\t-\tyes\n"
            "21\tMine\tcommand+shift+k\tyes\n"_s,
            true, {8, 21});
        row("logout", u"logout"_s, 204, {}, 0, u"Signed out.\n"_s, false);
        row("logout, service fails", u"logout"_s, 500, "{}", 1, u"You stay signed in."_s);
    }
    void signedInCommands() {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QList<qint64>, stored);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(bool, signedInAfter);
        storeSignedInUser();
        if (!stored.isEmpty())
            AppSettings().setPresetsSettings(PresetsSettings{stored});
        const QByteArray method = command == u"logout"_s ? "DELETE" : "GET";
        const QString path =
            command == u"logout"_s ? u"/api/0/devices/logout"_s : u"/api/0/"_s + command;
        m_server->respond(method, path, ScriptedResponse::json(body, status));
        const Cli& cli = run({command});
        QCOMPARE(cli.status, exitCode);
        if (exitCode == 0) {
            QCOMPARE(cli.out(), out);
        } else {
            QVERIFY2(!cli.err().isEmpty() && cli.err().contains(out), qPrintable(cli.err()));
            QVERIFY(cli.out().isEmpty());
        }
        const RecordedRequest& request = m_server->requests().first();
        QCOMPARE(request.header("Authorization"), "Bearer dk-1");
        QCOMPARE(request.header("App-Version"), QByteArray(ORVANE_VERSION));
        QVERIFY(!cli.out().contains(u"dk-1"_s) && !cli.err().contains(u"dk-1"_s));
        QCOMPARE(AppSettings().userSettings().user.has_value(), signedInAfter);
    }

    // The answer goes to standard output as it arrives; how it ends sets the exit status.
    void runOutcomes_data() {
        QTest::addColumn<int>("status"); // 0: closed without the final chunk
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("finished") << 200 << 0 << QString();
        QTest::newRow("413") << 413 << 3 << u"too long"_s;
        QTest::newRow("500") << 500 << 1 << u"could not be generated"_s;
        // How the service ends an answer the model failed.
        QTest::newRow("closed without the final chunk") << 0 << 1 << u"could not be generated"_s;
    }
    void runOutcomes() {
        QFETCH(int, status);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        storeSignedInUser();
        Cli cli(m_settings->path(), m_chunked->baseUrl());
        cli.start({u"run"_s, u"--command"_s, u"make it formal"_s}, "Hello w\xC3\xB6rld & co\n");
        QVERIFY(m_chunked->waitForRequests(1));
        QCOMPARE(m_chunked->header("Authorization"), "Bearer dk-1");
        QCOMPARE(m_chunked->requestBody(), "command=make%20it%20formal&text=Hello%20w\xC3\xB6rld"
                                           "%20%26%20co%0A&history=%5B%5D");
        const bool streamed = status == 200 || status == 0;
        if (streamed) {
            m_chunked->beginChunked();
            m_chunked->writeChunk("Hallo");
            QTRY_COMPARE(cli.out(), u"Hallo"_s);
            QVERIFY(cli.running());
            if (status == 200)
                m_chunked->finish();
            else
                m_chunked->writeAndClose({});
        } else {
            m_chunked->respond(status, "the body is not shown");
        }
        QCOMPARE(cli.waitForExit(), exitCode);
        QCOMPARE(cli.out(), streamed ? u"Hallo"_s : QString());
        QVERIFY2(message.isEmpty() ? cli.err().isEmpty() : cli.err().contains(message),
                 qPrintable(cli.err()));
    }

    void loginStoresTheUserDeliveredOnTheSignInChannel() {
        Cli cli(m_settings->path(), m_server->baseUrl());
        cli.start({u"login"_s, u"--timeout"_s, u"30"_s});
        QTRY_VERIFY_WITH_TIMEOUT(cli.out().contains(u"token="_s), 10'000);

        static const QRegularExpression page(u"^Open this page in your browser to sign in:\n"
                                             "(http://127\\.0\\.0\\.1:\\d+/users/log_in\\?token=)"
                                             "([A-Za-z0-9]{24})&challenge=[0-9a-f]{64}\n$"_s);
        const auto match = page.match(cli.out());
        QVERIFY2(match.hasMatch(), qPrintable(cli.out()));
        QCOMPARE(match.captured(1), m_server->baseUrl() + u"/users/log_in?token="_s);
        const QString token = match.captured(2);

        QVERIFY(m_server->waitForFrames(1));
        const auto signedIn = [](const QString& topic, const QString& email) {
            return uR"({"event":"logged_in","payload":{"email":"%2","id":77,"device_key":"dk-new"},)"
                   uR"("topic":"%1"})"_s.arg(topic, email);
        };
        // A result for another token is not ours.
        m_server->send(signedIn(u"auth:someoneelse"_s, u"eve@example.org"_s).toUtf8());
        QTest::qWait(200);
        QVERIFY(cli.running());
        m_server->send(signedIn(u"auth:"_s + token, u"ada@example.org"_s).toUtf8());
        QCOMPARE(cli.waitForExit(), 0);
        QVERIFY(cli.out().endsWith(u"Signed in as ada@example.org.\n"_s));
        QVERIFY(!cli.out().contains(u"dk-new"_s));

        QCOMPARE(AppSettings().userSettings().user,
                 std::optional(User{u"ada@example.org"_s, 77, u"dk-new"_s}));
    }

private:
    /** One finished run of orvane-cli against url (the scripted server when empty). */
    const Cli& run(const QStringList& arguments, const QByteArray& input = {},
                   const QString& url = {}) {
        m_runs.push_back(
            std::make_unique<Cli>(m_settings->path(), url.isEmpty() ? m_server->baseUrl() : url));
        m_runs.back()->run(arguments, input);
        return *m_runs.back();
    }

    std::vector<std::unique_ptr<Cli>> m_runs;
    std::unique_ptr<TemporarySettings> m_settings;
    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<ScriptedServer> m_chunked;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
