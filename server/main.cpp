#include "admincommands.h"
#include "database.h"
#include "modeldiscovery.h"
#include "orvaneservice.h"
#include "secrets.h"
#include "serverconfig.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    // One line per event with time, level and category; QT_MESSAGE_PATTERN still overrides it.
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-ddThh:mm:ss.zzz} %{if-debug}debug%{endif}"
                                      "%{if-info}info%{endif}%{if-warning}warning%{endif}"
                                      "%{if-critical}error%{endif}%{if-fatal}fatal%{endif} "
                                      "%{category}: %{message}"));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvane-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QHash<QString, QString> environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        environment.insert(name, system.value(name));
    const OrvaneServer::ConfigResult parsed =
        OrvaneServer::parseConfig(app.arguments().mid(1), environment);
    if (!parsed.config) {
        (parsed.exitCode == 0 ? out : err)
            << (parsed.exitCode == 0 ? QString() : QStringLiteral("orvane-service: "))
            << parsed.message << (parsed.message.endsWith(QLatin1Char('\n')) ? "" : "\n");
        return parsed.exitCode;
    }
    const OrvaneServer::ServerConfig& config = *parsed.config;
    if (!OrvaneServer::Secrets::initialize()) {
        err << "orvane-service: libsodium could not be initialised\n";
        return 1;
    }
    if (config.command == QStringList{QStringLiteral("models")})
        return OrvaneServer::printModelServers(config, out);
    QString error;
    std::optional<OrvaneServer::Database> database =
        OrvaneServer::Database::open(config.databaseUrl, &error);
    if (!database) {
        err << "orvane-service: " << error << "\n";
        return 1;
    }
    if (!config.command.isEmpty())
        return OrvaneServer::runAdminCommand(config, *database, out, err);

    // Every streamed answer holds two sockets (client and model server).
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    OrvaneServer::OrvaneService service(config, std::move(*database));
    if (!service.start(&error)) {
        err << "orvane-service: " << error << "\n";
        return 1;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &service, [&] {
            char byte = 0;
            [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
            service.shutDown();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    // Announced only once SIGTERM is handled: whoever waits for this line may stop us at once.
    out << "orvane-service listening on " << service.listeningAddress() << Qt::endl;
    QObject::connect(&service, &OrvaneServer::OrvaneService::stopped, &app,
                     [] { QCoreApplication::exit(0); });
    return app.exec();
}
