#include "editorsession.h"

#include "platform/x11/x11display.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

std::optional<RunningApp> activeWindow(X11Display& display) {
    const auto window =
        display.cardinalProperty(display.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    if (!window || *window == 0)
        return std::nullopt;
    RunningApp app;
    app.windowId = *window;
    app.processId = display.cardinalProperty(*window, "_NET_WM_PID", XCB_ATOM_CARDINAL).value_or(0);
    return app;
}

} // namespace

EditorSession::EditorSession(const QByteArray& content, const QString& program,
                             const QStringList& arguments) {
    QFile file(filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return;
    file.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Fresh editor settings: no restored session, no leftover windows.
    environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
    environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"data"_s));
    environment.insert(u"XDG_CACHE_HOME"_s, m_dir.filePath(u"cache"_s));
    environment.insert(u"NO_AT_BRIDGE"_s, u"1"_s);
    m_editor.setProcessEnvironment(environment);
    m_editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // One process per window: mousepad otherwise hands the file to a running instance.
    QStringList args = program == u"mousepad"_s ? QStringList{u"--disable-server"_s, filePath()}
                                                : QStringList{filePath()};
    if (!arguments.isEmpty())
        args = QStringList(arguments).replaceInStrings(u"%f"_s, filePath());
    m_editor.start(program, args);
    if (!m_editor.waitForStarted(5000))
        return;

    const std::shared_ptr<X11Display> display = X11Display::open();
    if (!display)
        return;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        const std::optional<RunningApp> active = activeWindow(*display);
        if (active && active->processId == m_editor.processId()) {
            m_window = active;
            break;
        }
        QTest::qWait(50);
    }
    // Let the editor finish drawing and take the keyboard before keys arrive.
    QTest::qWait(300);
}

EditorSession::~EditorSession() {
    if (m_editor.state() == QProcess::NotRunning)
        return;
    m_editor.terminate();
    if (!m_editor.waitForFinished(3000)) {
        m_editor.kill();
        m_editor.waitForFinished(3000);
    }
}

bool EditorSession::xdotool(const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(u"xdotool"_s, args);
    // Spin our own event loop meanwhile: the editor may be asking us for the clipboard.
    const QDeadlineTimer deadline(10000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForFinished(10);
        QCoreApplication::processEvents();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool EditorSession::focus() {
    if (!m_window)
        return false;
    return xdotool({u"windowactivate"_s, u"--sync"_s, QString::number(m_window->windowId)});
}

QByteArray EditorSession::saveAndRead(const QByteArray& expected) {
    // The editor pastes asynchronously (it asks the clipboard owner for the text),
    // so a save may come first: save again until the file settles or time is up.
    QByteArray content;
    const QDeadlineTimer deadline(6000);
    while (!deadline.hasExpired()) {
        xdotool({u"key"_s, u"ctrl+s"_s});
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(50);
            QFile file(filePath());
            if (file.open(QIODevice::ReadOnly))
                content = file.readAll();
            if (content == expected)
                return content;
        }
    }
    return content;
}
