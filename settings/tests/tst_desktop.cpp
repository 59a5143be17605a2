#include "desktopapp.h"
#include "editorsession.h"
#include "serviceprocess.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

QByteArray waitFor(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
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
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<DesktopApp> m_app;
    quint16 m_debugPort = 0;
    QNetworkAccessManager m_network;

    /** The app's visible window whose title matches pattern, in screen coordinates. */
    std::optional<QRect> shown(const QString& pattern) const
    {
        const QString id = m_app->window(pattern);
        return id.isEmpty() ? std::nullopt : windowGeometry(id);
    }

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
        const auto geometry = shown(window);
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

    /** Signs in from the login page up to the finish page. */
    void signIn()
    {
        const int before = openedUrls().size();
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/login").isEmpty(), timeout);
        click(WindowTitles::signIn, "/web_view/login", "sign_in");
        QTRY_VERIFY_WITH_TIMEOUT(openedUrls().size() > before, timeout);
        const QUrl browser(openedUrls().last());
        QCOMPARE(browser.path(), QStringLiteral("/users/log_in"));
        const QString token = QUrlQuery(browser).queryItemValue("token");
        QCOMPARE(token.size(), 24);
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/continue").isEmpty(), timeout);

        // What a user does in the browser: the sign-in form of the page Orvane opened.
        QCOMPARE(m_service->submitBrowserForm(browser.path(), token, email, password).status, 200);
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/finish").isEmpty(), timeout);
        QVERIFY(m_app->storedSettings().contains(email));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs the X server that scripts/test starts");
        QVERIFY(m_dir.isValid());
        m_service = std::make_unique<ServiceProcess>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->failureMessage()));
        QVERIFY(!m_service->createUserWithKey(email, password).isEmpty());

        // The "browser" only writes down what it was asked to open.
        QDir(m_dir.path()).mkdir("bin");
        QFile browser(m_dir.filePath("bin/xdg-open"));
        QVERIFY(browser.open(QIODevice::WriteOnly));
        browser.write("#!/bin/sh\necho \"$1\" >> '" + m_dir.filePath("opened.txt").toUtf8() + "'\n");
        browser.close();
        browser.setPermissions(browser.permissions() | QFile::ExeOwner);

        m_debugPort = freeLoopbackPort();
        QProcessEnvironment env;
        env.insert("PATH", m_dir.filePath("bin") + ':' + qEnvironmentVariable("PATH"));
        env.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(m_debugPort));
        m_app = std::make_unique<DesktopApp>();
        QVERIFY(m_app->start(m_service->url(QString()).toString(), env));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            saveScreenshot(QString::fromLatin1(QTest::currentTestFunction()));
    }

    void cleanupTestCase()
    {
        m_app.reset();
        m_service.reset();
    }

    void signInThenLogOutFromTheAccountPage()
    {
        signIn();
        QVERIFY(rendererCount(m_app->processId()) > 0);
        click(WindowTitles::signIn, "/web_view/finish", "settings");
        QTRY_VERIFY_WITH_TIMEOUT(!shown(WindowTitles::signIn), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(shown(WindowTitles::settings), timeout);

        QVERIFY(EditorSession::xdotool({"windowactivate", "--sync", m_app->window(WindowTitles::settings)}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+2"}));
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/account").isEmpty(), timeout);
        // The account page sits in the middle of the area under the tab bar.
        const QRect window = *shown(WindowTitles::settings);
        const QPoint offset((window.width() - 604) / 2, 52 + (window.height() - 52 - 460) / 2);
        click(WindowTitles::settings, "/web_view/account", "logout", offset);

        QTRY_VERIFY_WITH_TIMEOUT(!shown(WindowTitles::settings), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(shown(WindowTitles::signIn), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->storedSettings().contains(email), timeout);
    }

    void signInAgainStartAndUseTheWidgetHotkey()
    {
        signIn();
        click(WindowTitles::signIn, "/web_view/finish", "start");
        QTRY_VERIFY_WITH_TIMEOUT(!shown(WindowTitles::signIn), timeout);
        // Once the page is gone no page runs: idle Orvane keeps no renderer.
        QTRY_COMPARE_WITH_TIMEOUT(rendererCount(m_app->processId()), 0, timeout);

        // "start" shows the widget; the editor then takes the focus from it.
        QTRY_VERIFY_WITH_TIMEOUT(shown(WindowTitles::widget), timeout);
        EditorSession editor("Their going too the market.");
        QVERIFY(editor.isReady());
        const auto activeTitle = [] {
            return QString::fromUtf8(runTool("xdotool", {"getactivewindow", "getwindowname"})).trimmed();
        };
        QVERIFY(!activeTitle().startsWith("Orvane Widget"));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+a"}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+alt+c"}));
        QTRY_VERIFY_WITH_TIMEOUT(activeTitle().startsWith("Orvane Widget"), timeout);
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
