#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class EditorSession;
class ScriptedModelServer;
class ServiceProcess;

/** Orvane's windows by their WM_WINDOW_ROLE, which is the window's kind. */
namespace WindowRoles {
inline const QString widget = QStringLiteral("^AIWidget$");
inline const QString signIn = QStringLiteral("^Authorization$");
inline const QString settings = QStringLiteral("^Settings$");
inline const QString noConnection = QStringLiteral("^NoConnection$");
} // namespace WindowRoles

/** Runs program to its end (at most timeout ms) and returns its standard output;
 * environment empty: the test's own. */
QByteArray runTool(const QString& program, const QStringList& arguments, int* exitCode = nullptr,
                   const QProcessEnvironment& environment = {}, int timeout = 30000);
/** With ORVANE_WIDGET_SHOTS=<dir>, saves the screen there as name.png. */
void saveScreenshot(const QString& name);
/** orvane-service as scripts/run starts it: no model server named, so model's is found among
 * the places the service looks (after one where nothing answers). */
std::unique_ptr<ServiceProcess> serviceFinding(const ScriptedModelServer& model);
/** Where the window is on the screen, when it is there. */
std::optional<QRect> windowGeometry(const QString& windowId);

/**
 * The real orvane in the test's X server with a configuration directory of its own,
 * and the few things a user sees of it: its windows and what they show.
 */
class DesktopApp {
public:
    /** binary empty: the one built here. */
    explicit DesktopApp(const QString& binary = {});
    ~DesktopApp();

    /** Stores the user as signed in, the way the app stores it after a sign-in. */
    void storeUser(const QString& email, const QString& deviceKey);
    [[nodiscard]] QString storedSettings() const;
    /** Starts the app against serviceUrl; environment adds to or overrides the test's own, but
     * not the app's own configuration directory. */
    bool start(const QString& serviceUrl, const QProcessEnvironment& environment = {});
    [[nodiscard]] const QString& binary() const { return m_binary; }
    [[nodiscard]] qint64 processId() const { return m_process.processId(); }
    [[nodiscard]] bool isRunning() const { return m_process.state() == QProcess::Running; }

    /** The id of the app's visible window whose title matches pattern, or empty. */
    [[nodiscard]] QString window(const QString& rolePattern) const;
    [[nodiscard]] bool shows(const QString& rolePattern) const {
        return !window(rolePattern).isEmpty();
    }

    /** Selects the editor's first line (or runs xdotool with select) and presses hotkey, or
     * with none runs "orvane --trigger widget", until the widget shows (the app may still be
     * starting). */
    bool openWidgetOver(EditorSession& editor, const QString& hotkey,
                        const QStringList& select = {"key", "ctrl+Home", "shift+End"});
    /** Presses keys until the widget is gone: actions wait for the answer to be complete. */
    bool pressUntilWidgetHides(const QStringList& keys);
    /** Whether the widget's prompt icon has the colour of a running answer. */
    [[nodiscard]] bool answerIsRunning() const;
    /** Waits until the widget shows an answer that is no longer running. */
    bool waitForSettledAnswer();
    /** Whether the widget shows the error colour (the error line under the prompt field). */
    [[nodiscard]] bool widgetShowsError() const;

private:
    QTemporaryDir m_dir;
    QString m_binary;
    QProcess m_process;
};
