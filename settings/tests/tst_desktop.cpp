#include "desktopapp.h"
#include "editorsession.h"
#include "processtree.h"
#include "serviceprocess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QWebSocket>

#include <algorithm>

/*
 * The real application against the real service in the test's X server: sign-in
 * through the embedded page and the browser form, the settings' account page, logout,
 * and the widget hotkey afterwards. Pages are clicked and typed into with xdotool like
 * a user would; the browser's remote debugging port only tells where the elements are
 * in the page, whose window the page helper embeds into the application's.
 */

namespace {

constexpr int timeout = 20000;
const QString email = QStringLiteral("ada@example.org");
const QString password = QStringLiteral("correct horse battery");

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<DesktopApp> m_app;
    quint16 m_debugPort = 0;

    /** The debugging target of the page the application shows at path, if any. */
    QJsonObject page(const QString& path) {
        QNetworkAccessManager local;
        const std::unique_ptr<QNetworkReply> reply(local.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json").arg(m_debugPort)))));
        if (!QTest::qWaitFor([&reply] { return reply->isFinished(); }, timeout))
            return {};
        for (const QJsonValue& target : QJsonDocument::fromJson(reply->readAll()).array()) {
            if (QUrl(target["url"].toString()).path() == path)
                return target.toObject();
        }
        return {};
    }

    /** The value of a script expression in the page, as a JSON text. */
    QString evaluate(const QJsonObject& target, const QString& expression) {
        QWebSocket socket;
        QByteArray answer;
        connect(&socket, &QWebSocket::connected, &socket, [&] {
            const QJsonObject params{{"expression", QString("JSON.stringify(" + expression + ")")},
                                     {"returnByValue", true}};
            socket.sendTextMessage(
                QJsonDocument(
                    QJsonObject{{"id", 1}, {"method", "Runtime.evaluate"}, {"params", params}})
                    .toJson(QJsonDocument::Compact));
        });
        connect(&socket, &QWebSocket::textMessageReceived, &socket,
                [&answer](const QString& text) { answer = text.toUtf8(); });
        socket.open(QUrl(target["webSocketDebuggerUrl"].toString()));
        if (!QTest::qWaitFor([&answer] { return !answer.isEmpty(); }, timeout))
            return {};
        return QJsonDocument::fromJson(answer)["result"]["result"]["value"].toString();
    }

    /** Page helpers and browser engine processes that run for the application. */
    QMap<qint64, QByteArray> pageProcesses() const {
        QMap<qint64, QByteArray> found = descendants(m_app->processId());
        found.removeIf([](QMap<qint64, QByteArray>::iterator it) {
            return !it->contains("orvane-webpage") && !it->contains("QtWebEngineProcess");
        });
        return found;
    }

    static bool anyHas(const QMap<qint64, QByteArray>& processes, const QByteArray& word) {
        return std::any_of(processes.cbegin(), processes.cend(),
                           [&word](const QByteArray& command) { return command.contains(word); });
    }

    /** The newest page helper's window, embedded in one of the application's. */
    std::optional<QRect> pageWindow() const {
        // The engine's processes name the helper too, but only as an argument.
        QList<qint64> helpers;
        for (const auto& [pid, command] : descendants(m_app->processId()).asKeyValueRange()) {
            if (command.split('\0').value(0).endsWith("/orvane-webpage"))
                helpers << pid;
        }
        if (helpers.isEmpty())
            return std::nullopt;
        return windowGeometry(
            QString::fromUtf8(runTool("xdotool", {"search", "--onlyvisible", "--pid",
                                                  QString::number(helpers.last())}))
                .split('\n', Qt::SkipEmptyParts)
                .value(0));
    }

    /** Where the element that selector picks in the page at path is on the screen. */
    std::optional<QPoint> locate(const QString& path, const QString& selector) {
        const QJsonObject target = page(path);
        const auto geometry = pageWindow();
        if (target.isEmpty() || !geometry)
            return std::nullopt;
        const QString box = "document.querySelector('" + selector + "').getBoundingClientRect()";
        const QJsonObject rect = QJsonDocument::fromJson(evaluate(target, box).toUtf8()).object();
        if (rect.isEmpty())
            return std::nullopt;
        const QRectF area(rect["x"].toDouble(), rect["y"].toDouble(), rect["width"].toDouble(),
                          rect["height"].toDouble());
        return (geometry->topLeft() + area.center()).toPoint();
    }

    void click(const QString& path, const QString& selector) {
        std::optional<QPoint> point;
        QTRY_VERIFY_WITH_TIMEOUT((point = locate(path, selector)).has_value(), timeout);
        QVERIFY(EditorSession::xdotool(
            {"mousemove", QString::number(point->x()), QString::number(point->y())}));
        QVERIFY(EditorSession::xdotool({"click", "1"}));
    }

    QStringList openedUrls() const {
        QFile file(m_dir.filePath("opened.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    /** Signs in from the login page up to the finish page. */
    void signIn() {
        const int before = openedUrls().size();
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/login").isEmpty(), timeout);
        click("/web_view/login", "#sign_in");
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
    void initTestCase() {
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
        browser.write("#!/bin/sh\necho \"$1\" >> '" + m_dir.filePath("opened.txt").toUtf8() +
                      "'\n");
        browser.close();
        browser.setPermissions(browser.permissions() | QFile::ExeOwner);

        m_debugPort = unusedPort();
        QProcessEnvironment env;
        env.insert("PATH", m_dir.filePath("bin") + ':' + qEnvironmentVariable("PATH"));
        env.insert("QTWEBENGINE_REMOTE_DEBUGGING", QStringLiteral("127.0.0.1:%1").arg(m_debugPort));
        m_app = std::make_unique<DesktopApp>();
        QVERIFY(m_app->start(m_service->url(QString()).toString(), env));
    }

    void cleanup() {
        if (QTest::currentTestFailed())
            saveScreenshot(QString::fromLatin1(QTest::currentTestFunction()));
    }

    void signInThenLogOutFromTheAccountPage() {
        signIn();
        QVERIFY(anyHas(pageProcesses(), "--type=renderer"));
        click("/web_view/finish", "#settings");
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->shows(WindowRoles::signIn), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->shows(WindowRoles::settings), timeout);

        // Typing reaches the page once it has been clicked.
        QVERIFY(EditorSession::xdotool(
            {"windowactivate", "--sync", m_app->window(WindowRoles::settings)}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+4"}));
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/new_report").isEmpty(), timeout);
        click("/web_view/new_report", "textarea");
        QVERIFY(EditorSession::xdotool({"type", "--delay", "20", "It froze"}));
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(page("/web_view/new_report"), "document.querySelector('textarea').value"),
            QStringLiteral("\"It froze\""), timeout);

        // The page keeps the keyboard until the settings window takes it back; keys go
        // to the window under the pointer, so the pointer leaves the page too.
        const QRect window = *windowGeometry(m_app->window(WindowRoles::settings));
        QVERIFY(EditorSession::xdotool(
            {"mousemove", QString::number(window.x() + 10), QString::number(window.y() + 10)}));
        QVERIFY(EditorSession::xdotool(
            {"windowfocus", "--sync", m_app->window(WindowRoles::settings)}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+2"}));
        QTRY_VERIFY_WITH_TIMEOUT(!page("/web_view/account").isEmpty(), timeout);
        click("/web_view/account", "#logout");

        QTRY_VERIFY_WITH_TIMEOUT(!m_app->shows(WindowRoles::settings), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->shows(WindowRoles::signIn), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->storedSettings().contains(email), timeout);
    }

    void signInAgainStartAndUseTheWidgetHotkey() {
        signIn();
        const QMap<qint64, QByteArray> pages = pageProcesses();
        QVERIFY(anyHas(pages, "orvane-webpage"));
        click("/web_view/finish", "#start");
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->shows(WindowRoles::signIn), timeout);
        // Once the page is gone no browser runs: neither the helper nor any engine process,
        // below the application or orphaned.
        QTRY_VERIFY_WITH_TIMEOUT(pageProcesses().isEmpty() && stillRunning(pages).isEmpty(),
                                 timeout);

        // "start" shows the widget; the editor then takes the focus from it.
        QTRY_VERIFY_WITH_TIMEOUT(m_app->shows(WindowRoles::widget), timeout);
        EditorSession editor("Their going too the market.");
        QVERIFY(editor.isReady());
        const auto widgetActive = [this] {
            const QString active =
                QString::fromUtf8(runTool("xdotool", {"getactivewindow"})).trimmed();
            return !active.isEmpty() && active == m_app->window(WindowRoles::widget);
        };
        QVERIFY(!widgetActive());
        QVERIFY(EditorSession::xdotool({"key", "ctrl+a"}));
        QVERIFY(EditorSession::xdotool({"key", "ctrl+alt+c"}));
        QTRY_VERIFY_WITH_TIMEOUT(widgetActive(), timeout);
    }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
