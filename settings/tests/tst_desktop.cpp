#include "editorsession.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

/*
 * The real application against the real service in the test's X server: sign-in
 * through the embedded page and the browser form, the settings' account page, logout,
 * and the widget hotkey afterwards. Pages are clicked with xdotool like a user would;
 * the browser's remote debugging port only tells where the buttons are.
 */

namespace {

constexpr int timeout = 20000;
const QString email = QStringLiteral("ada@example.org");
const QString password = QStringLiteral("correct horse battery");
// Window titles as the window manager shows them (Qt adds the application's name).
const QString signInWindow = QStringLiteral("^Sign in to Orvane");
const QString settingsWindow = QStringLiteral("^Orvane Settings");
const QString widgetWindow = QStringLiteral("^Orvane Widget");

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QByteArray waitFor(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

/** The visible window whose title matches pattern, in screen coordinates. */
std::optional<QRect> windowGeometry(const QString& pattern)
{
    const QStringList ids = run("xdotool", {"search", "--onlyvisible", "--name", pattern})
                                .split('\n', Qt::SkipEmptyParts);
    if (ids.isEmpty())
        return std::nullopt;
    const QString shell = run("xdotool", {"getwindowgeometry", "--shell", ids.first()});
    QMap<QString, int> values;
    for (const QString& line : shell.split('\n', Qt::SkipEmptyParts))
        values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
}

/** Web engine processes that render pages for pid, however deep below it. */
int rendererCount(qint64 pid)
{
    QMap<qint64, qint64> parents;
    QMap<qint64, QByteArray> commands;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 id = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray fields = stat.readAll();
        parents[id] = fields.mid(fields.lastIndexOf(')') + 4).split(' ').value(0).toLongLong();
        commands[id] = cmdline.readAll();
    }
    int count = 0;
    for (auto it = commands.cbegin(); it != commands.cend(); ++it) {
        if (!it.value().contains("--type=renderer"))
            continue;
        for (qint64 p = parents.value(it.key()); p > 1; p = parents.value(p)) {
            if (p == pid) {
                ++count;
                break;
            }
        }
    }
    return count;
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_service;
    QProcess m_app;
    quint16 m_port = 0;
    quint16 m_debugPort = 0;
    QNetworkAccessManager m_network;

    QString serviceUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    /** The debugging target of the page the application shows at path, if any. */
    QJsonObject page(const QString& path)
    {
        QNetworkAccessManager local;
        const QByteArray body =
            waitFor(local.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json").arg(m_debugPort)))));
        for (const QJsonValue& target : QJsonDocument::fromJson(body).array()) {
            if (QUrl(target["url"].toString()).path() == path)
                return target.toObject();
        }
        return {};
    }

    std::optional<QRectF> elementRect(const QJsonObject& target, const QString& id)
    {
        QWebSocket socket;
        QEventLoop loop;
        QByteArray answer;
        connect(&socket, &QWebSocket::connected, &loop, [&] {
            const QString expression =
                "JSON.stringify(document.getElementById('" + id + "').getBoundingClientRect())";
            const QJsonObject params{{"expression", expression}, {"returnByValue", true}};
            socket.sendTextMessage(QJsonDocument(QJsonObject{{"id", 1}, {"method", "Runtime.evaluate"},
                                                             {"params", params}})
                                       .toJson(QJsonDocument::Compact));
        });
        connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString& text) {
            answer = text.toUtf8();
            loop.quit();
        });
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        socket.open(QUrl(target["webSocketDebuggerUrl"].toString()));
        loop.exec();
        const QString value = QJsonDocument::fromJson(answer)["result"]["result"]["value"].toString();
        const QJsonObject rect = QJsonDocument::fromJson(value.toUtf8()).object();
        if (rect.isEmpty())
            return std::nullopt;
        return QRectF(rect["x"].toDouble(), rect["y"].toDouble(), rect["width"].toDouble(), rect["height"].toDouble());
    }

    /** Where element id of the page at path is on the screen, the page at offset in the window. */
    std::optional<QPoint> locate(const QString& window, const QString& path, const QString& id, QPoint offset = {})
    {
        const QJsonObject target = page(path);
        const auto geometry = windowGeometry(window);
        const auto rect = target.isEmpty() ? std::nullopt : elementRect(target, id);
        if (!geometry || !rect)
            return std::nullopt;
        return (geometry->topLeft() + offset + rect->center()).toPoint();
    }

    void click(const QString& window, const QString& path, const QString& id, QPoint offset = {})
    {
        std::optional<QPoint> point;
        QTRY_VERIFY_WITH_TIMEOUT((point = locate(window, path, id, offset)).has_value(), timeout);
        QVERIFY(EditorSession::xdotool({"mousemove", QString::number(point->x()), QString::number(point->y())}));
        QVERIFY(EditorSession::xdotool({"click", "1"}));
    }

    QStringList openedUrls() const
    {
        QFile file(m_dir.filePath("opened.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    /** What a user does in the browser: the sign-in form of the page Orvane opened. */
    int signInThroughBrowser(const QUrl& url)
    {
        const QString form = QString::fromUtf8(waitFor(m_network.get(QNetworkRequest(url))));
        const QString csrf = QRegularExpression("name=\"csrf_token\" value=\"([^\"]+)\"").match(form).captured(1);
        QUrlQuery body;
        body.addQueryItem("token", QUrlQuery(url).queryItemValue("token"));
        body.addQueryItem("csrf_token", csrf);
        body.addQueryItem("email", email);
        body.addQueryItem("password", password);
        QNetworkRequest request(QUrl(serviceUrl() + "/users/log_in"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        QNetworkReply* reply = m_network.post(request, body.query(QUrl::FullyEncoded).toUtf8());
        waitFor(reply);
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

    QString storedSettings() const
    {
        QFile file(m_dir.filePath("config/Orvane/Orvane.ini"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    /** Signs in from the login page up to the finish page. */
    void signIn()
    {
        const int before = openedUrls().size();
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/login").isEmpty(), timeout);
        click(signInWindow, "/web_view/login", "sign_in");
        QTRY_VERIFY_WITH_TIMEOUT(openedUrls().size() > before, timeout);
        const QUrl browser(openedUrls().last());
        QCOMPARE(browser.path(), QStringLiteral("/users/log_in"));
        QCOMPARE(QUrlQuery(browser).queryItemValue("token").size(), 24);
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/continue").isEmpty(), timeout);

        QCOMPARE(signInThroughBrowser(browser), 200);
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/finish").isEmpty(), timeout);
        QVERIFY(storedSettings().contains(email));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_port = freePort();
        m_debugPort = freePort();
        const QString database = "sqlite:" + m_dir.filePath("service.sqlite");
        {
            QFile secret(m_dir.filePath("password"));
            QVERIFY(secret.open(QIODevice::WriteOnly));
            secret.write(password.toUtf8() + '\n');
        }
        QCOMPARE(QProcess::execute(ORVANE_SERVICE, {"user", "add", "--email", email, "--password-file",
                                                    m_dir.filePath("password"), "--database", database}),
                 0);
        m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_service.start(ORVANE_SERVICE, {"--listen", QStringLiteral("127.0.0.1:%1").arg(m_port), "--database", database});
        QVERIFY(m_service.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(waitFor(m_network.get(QNetworkRequest(QUrl(serviceUrl() + "/healthz")))).startsWith("ok"),
                                 timeout);

        // The "browser" only writes down what it was asked to open.
        QDir(m_dir.path()).mkdir("bin");
        QFile browser(m_dir.filePath("bin/xdg-open"));
        QVERIFY(browser.open(QIODevice::WriteOnly));
        browser.write("#!/bin/sh\necho \"$1\" >> '" + m_dir.filePath("opened.txt").toUtf8() + "'\n");
        browser.close();
        browser.setPermissions(browser.permissions() | QFile::ExeOwner);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", m_dir.filePath("bin") + ':' + env.value("PATH"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("ORVANE_SERVICE_URL", serviceUrl());
        env.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(m_debugPort));
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
        env.remove("QT_QPA_PLATFORM");
        m_app.setProcessEnvironment(env);
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(ORVANE_APP, {});
        QVERIFY(m_app.waitForStarted());
    }

    void cleanupTestCase()
    {
        m_app.terminate();
        m_app.waitForFinished(5000);
        m_service.terminate();
        m_service.waitForFinished(5000);
    }

    void signInThenLogOutFromTheAccountPage()
    {
        signIn();
        QVERIFY(rendererCount(m_app.processId()) > 0);
        click(signInWindow, "/web_view/finish", "settings");
        QTRY_VERIFY_WITH_TIMEOUT(!windowGeometry(signInWindow), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(windowGeometry(settingsWindow), timeout);

        const QStringList ids = run("xdotool", {"search", "--onlyvisible", "--name", settingsWindow})
                                    .split('\n', Qt::SkipEmptyParts);
        QVERIFY(EditorSession::xdotool({"windowactivate", "--sync", ids.first()}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+2"}));
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/account").isEmpty(), timeout);
        // The account page sits in the middle of the area under the tab bar.
        const QRect window = *windowGeometry(settingsWindow);
        const QPoint offset((window.width() - 604) / 2, 52 + (window.height() - 52 - 460) / 2);
        click(settingsWindow, "/web_view/account", "logout", offset);

        QTRY_VERIFY_WITH_TIMEOUT(!windowGeometry(settingsWindow), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(windowGeometry(signInWindow), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!storedSettings().contains(email), timeout);
    }

    void signInAgainStartAndUseTheWidgetHotkey()
    {
        signIn();
        click(signInWindow, "/web_view/finish", "start");
        QTRY_VERIFY_WITH_TIMEOUT(!windowGeometry(signInWindow), timeout);
        // Once the page is gone no page runs: idle Orvane keeps no renderer.
        QTRY_COMPARE_WITH_TIMEOUT(rendererCount(m_app.processId()), 0, timeout);

        // "start" shows the widget; the editor then takes the focus from it.
        QTRY_VERIFY_WITH_TIMEOUT(windowGeometry(widgetWindow), timeout);
        EditorSession editor("Their going too the market.");
        QVERIFY(editor.isReady());
        const auto activeTitle = [] { return run("xdotool", {"getactivewindow", "getwindowname"}).trimmed(); };
        QVERIFY(!activeTitle().startsWith("Orvane Widget"));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+a"}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+alt+c"}));
        QTRY_VERIFY_WITH_TIMEOUT(activeTitle().startsWith("Orvane Widget"), timeout);
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
