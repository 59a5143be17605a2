#include "desktopapp.h"

#include "editorsession.h"
#include "scriptedmodelserver.h"
#include "serviceprocess.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTest>

namespace {

// The widget's colours in the light and the dark appearance.
const QList<QColor> errorColours{QColor(0xc6, 0x28, 0x28), QColor(0xff, 0x8a, 0x80)};
const QList<QColor> runningColours{QColor(0xd9, 0x8a, 0x16), QColor(0xf5, 0xb8, 0x5a)};
const QList<QColor> idleIconColours{QColor(0x5a, 0x68, 0xe0), QColor(0x9a, 0xa5, 0xff)};

/** How many pixels of image are within a few steps of one of the colours on each channel. */
int pixelsNear(const QImage& image, const QList<QColor>& colours) {
    constexpr int tolerance = 12;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            for (const QColor& colour : colours) {
                if (std::abs(pixel.red() - colour.red()) <= tolerance &&
                    std::abs(pixel.green() - colour.green()) <= tolerance &&
                    std::abs(pixel.blue() - colour.blue()) <= tolerance)
                    ++count;
            }
        }
    }
    return count;
}

/** The window's picture as the X server holds it. */
QImage grabWindow(const QString& windowId) {
    bool ok = false;
    const WId id = windowId.toULongLong(&ok);
    return ok ? QGuiApplication::primaryScreen()->grabWindow(id).toImage() : QImage();
}

/** Asks every 100 ms (each asking runs tools) until condition holds or ms have passed. */
bool pollFor(const std::function<bool()>& condition, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
    return true;
}

} // namespace

QByteArray runTool(const QString& program, const QStringList& arguments, int* exitCode,
                   const QProcessEnvironment& environment, int timeout) {
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(timeout);
    if (exitCode)
        *exitCode =
            finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

void saveScreenshot(const QString& name) {
    const QString dir = qEnvironmentVariable("ORVANE_WIDGET_SHOTS");
    if (!dir.isEmpty())
        runTool("import", {"-window", "root", QDir(dir).filePath(name + ".png")});
}

std::optional<QRect> windowGeometry(const QString& windowId) {
    // xwininfo, not xdotool, which counts the offset of a window inside another twice.
    int code = 0;
    const QString info = QString::fromUtf8(runTool("xwininfo", {"-id", windowId}, &code));
    if (code != 0)
        return std::nullopt;
    QMap<QString, int> values;
    for (const QString& line : info.split('\n'))
        values[line.section(':', 0, 0).trimmed()] = line.section(':', 1).trimmed().toInt();
    return QRect(values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"],
                 values["Height"]);
}

DesktopApp::DesktopApp(const QString& binary)
    : m_binary(binary.isEmpty() ? QStringLiteral(ORVANE_APP_BINARY) : binary) {}

DesktopApp::~DesktopApp() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void DesktopApp::storeUser(const QString& email, const QString& deviceKey) {
    QSettings settings(m_dir.filePath("config/Orvane/Orvane.ini"), QSettings::IniFormat);
    const QJsonObject user{{"email", email}, {"userId", 1}, {"deviceKey", deviceKey}};
    settings.setValue("UserSettings",
                      QJsonDocument(QJsonObject{{"user", user}}).toJson(QJsonDocument::Compact));
    settings.sync();
}

QString DesktopApp::storedSettings() const {
    QFile file(m_dir.filePath("config/Orvane/Orvane.ini"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool DesktopApp::start(const QString& serviceUrl, const QProcessEnvironment& environment) {
    QProcessEnvironment merged = QProcessEnvironment::systemEnvironment();
    merged.remove("QT_QPA_PLATFORM");
    merged.insert(environment);
    merged.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
    merged.insert("ORVANE_SERVICE_URL", serviceUrl);
    merged.insert("ORVANE_CAPTURE_TIMEOUT_MS", "1000"); // a loaded machine copies slowly
    merged.insert("QT_QUICK_BACKEND", "software");
    merged.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    merged.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    m_process.setProcessEnvironment(merged);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(m_binary, {});
    return m_process.waitForStarted(10000);
}

QString DesktopApp::window(const QString& rolePattern) const {
    const QRegularExpression role(rolePattern);
    const QByteArray found =
        runTool("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                            QString::number(m_process.processId()), "--class", "."});
    for (const QString& id : QString::fromUtf8(found).split('\n', Qt::SkipEmptyParts)) {
        // WM_WINDOW_ROLE(STRING) = "Settings"
        const QString property = QString::fromUtf8(runTool("xprop", {"-id", id, "WM_WINDOW_ROLE"}));
        if (role.match(property.section('"', 1, 1)).hasMatch())
            return id;
    }
    return {};
}

bool DesktopApp::openWidgetOver(EditorSession& editor, const QString& hotkey,
                                const QStringList& select) {
    const QDeadlineTimer deadline(40000);
    while (!deadline.hasExpired()) {
        editor.focus();
        EditorSession::xdotool(select);
        int exitCode = 0;
        if (hotkey.isEmpty())
            runTool(m_binary, {"--trigger", "widget"}, &exitCode);
        else
            EditorSession::xdotool({"key", hotkey});
        // The command is refused until the user is synchronised and the widget's actions bound.
        if (pollFor([this] { return shows(WindowRoles::widget); }, exitCode == 0 ? 2500 : 200))
            return true;
    }
    return false;
}

bool DesktopApp::pressUntilWidgetHides(const QStringList& keys) {
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        EditorSession::xdotool(QStringList{"key"} + keys);
        if (pollFor([this] { return !shows(WindowRoles::widget); }, 1000))
            return true;
    }
    return false;
}

bool DesktopApp::waitForSettledAnswer() {
    // While an answer runs the prompt icon takes the running colour.
    return pollFor(
        [this] {
            const QImage picture = grabWindow(window(WindowRoles::widget));
            return !picture.isNull() && pixelsNear(picture, runningColours) == 0 &&
                   pixelsNear(picture, idleIconColours) > 0;
        },
        20000);
}

bool DesktopApp::answerIsRunning() const {
    return pixelsNear(grabWindow(window(WindowRoles::widget)), runningColours) > 0;
}

bool DesktopApp::widgetShowsError() const {
    return pixelsNear(grabWindow(window(WindowRoles::widget)), errorColours) > 20;
}

std::unique_ptr<ServiceProcess> serviceFinding(const ScriptedModelServer& model) {
    return std::make_unique<ServiceProcess>(
        QStringList{QStringLiteral("--llm-candidates"),
                    QStringLiteral("127.0.0.1:%1,").arg(unusedPort()) + model.baseUrl()});
}
