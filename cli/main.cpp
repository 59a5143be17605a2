#include "clicommand.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("orvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    QStringList arguments = QCoreApplication::arguments();
    // The components' own log lines are for diagnosis; a refused service URL always shows.
    if (arguments.removeAll(QStringLiteral("--verbose")) > 0)
        QLoggingCategory::setFilterRules(QStringLiteral("org.orvane.Orvane.*=true"));
    else
        QLoggingCategory::setFilterRules(
            QStringLiteral("org.orvane.Orvane.*=false\norg.orvane.Orvane.url.critical=true"));

    CliCommand command;
    if (const auto status = command.start(arguments))
        return *status;
    return QCoreApplication::exec();
}
