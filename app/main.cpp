#include "app/application.h"
#include "app/appservice.h"
#include "core/appconstants.h"
#include "core/timer.h"
#include "platform/capabilities.h"
#include "platform/platformbackend.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <optional>

namespace {

/** The views follow the palette; a desktop that prefers dark gets a dark one. */
void applyDarkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x1e, 0x1f, 0x23));
    palette.setColor(QPalette::WindowText, QColor(0xec, 0xec, 0xee));
    palette.setColor(QPalette::Base, QColor(0x2a, 0x2b, 0x30));
    palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x27, 0x2c));
    palette.setColor(QPalette::Text, QColor(0xec, 0xec, 0xee));
    palette.setColor(QPalette::Button, QColor(0x34, 0x35, 0x3c));
    palette.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xec));
    palette.setColor(QPalette::Highlight, QColor(0x6f, 0x7f, 0xf5));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xf1, 0xf1, 0xf4));
    palette.setColor(QPalette::ToolTipText, QColor(0x1d, 0x1d, 0x20));
    palette.setColor(QPalette::PlaceholderText, QColor(0xa1, 0xa1, 0xa8));
    QGuiApplication::setPalette(palette);
}

/** The value of --trigger (as "--trigger X" or "--trigger=X"), or nothing without one. */
std::optional<QString> triggerArgument(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--trigger"))
            return i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (argument.startsWith(QLatin1String("--trigger=")))
            return argument.mid(int(qstrlen("--trigger=")));
    }
    return std::nullopt;
}

/** Prints what works in this session; needs neither a display nor a running instance. */
int runCheck(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const SessionInfo session = SessionInfo::fromEnvironment();
    const CapabilityReport report = CapabilityReport::build(
        session, Mechanisms::choose(session.server(), Presence::probe(session)));
    std::fputs(qUtf8Printable(report.toText()), stdout);
    return 0;
}

/** Another instance runs: ask it to show itself instead of starting a second one. */
int handOver(QDBusConnection bus) {
    if (AppService::sendShow(bus))
        return 0;
    std::fprintf(stderr, "orvane: another instance owns %s but does not answer\n",
                 qUtf8Printable(AppService::serviceName));
    return 1;
}

/** Runs an action in the running instance; needs no display, only the session bus. */
int runTrigger(int argc, char* argv[], const QString& action) {
    QCoreApplication app(argc, argv);
    if (action.isEmpty()) {
        std::fprintf(stderr, "orvane: --trigger needs an action: widget, toggle or prompt:ID\n");
        return 2;
    }
    const QString error = AppService::sendTrigger(QDBusConnection::sessionBus(), action);
    if (error.isEmpty())
        return 0;
    std::fprintf(stderr, "orvane: %s\n", qUtf8Printable(error));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--check") == 0)
            return runCheck(argc, argv);
    }
    if (const std::optional<QString> action = triggerArgument(argc, argv))
        return runTrigger(argc, argv, *action);

    // A small widget and a few pages need no GPU: software rendering keeps the GL driver
    // (tens of megabytes) out of a process that mostly sits idle. Set the variable to
    // bring GL back.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(AppConstants::applicationId);
    // Orvane lives in the tray: closing its last window must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The models bring their English texts under :/i18n, for themselves and the views.
    std::vector<std::unique_ptr<QTranslator>> translators;
    for (const QFileInfo& file :
         QDir(QStringLiteral(":/i18n")).entryInfoList({QStringLiteral("*.qm")})) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(file.filePath()) &&
            QCoreApplication::installTranslator(translator.get()))
            translators.push_back(std::move(translator));
    }

    // The bus name is the single-instance guard: a second start brings the first forward,
    // before it builds anything that could ask the desktop for permissions again.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(AppService::serviceName))
        return handOver(bus);

    SystemTimerSource timers;
    PlatformBackend platform = PlatformBackend::create(timers);
    if (!platform.isComplete())
        std::fprintf(stderr, "orvane: %s\n", qUtf8Printable(platform.unavailableReason));

    if (platform.appearance->isDark() &&
        QGuiApplication::palette().color(QPalette::Window).lightness() >= 128)
        applyDarkPalette();

    Application application(platform, timers);
    AppService service(application.hotkeys(),
                       [&application] { application.coordinator().openSettings(); });
    // Exported before the name is taken, so that whoever sees the name can call it.
    if (bus.isConnected() && !service.exportOn(bus))
        std::fprintf(stderr, "orvane: cannot export %s on the session bus\n",
                     qUtf8Printable(AppService::objectPath));
    switch (AppService::claimName(bus)) {
    case AppService::Claim::Owned:
        break;
    case AppService::Claim::AlreadyRunning:
        return handOver(bus);
    case AppService::Claim::NoBus:
        std::fprintf(stderr, "orvane: no session bus: \"orvane --trigger\" and the check for "
                             "a running instance are off\n");
        break;
    }
    QTimer::singleShot(0, &application, [&application] { application.start(); });
    return QCoreApplication::exec();
}
