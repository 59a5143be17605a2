#include "app/application.h"
#include "core/appconstants.h"
#include "core/log.h"
#include "platform/platformbackend.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QTranslator>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(Orvane_ViewsPlugin)

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(AppConstants::applicationId);
    // Orvane lives in the tray: closing its last window must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // Every view module brings its own English texts under :/i18n.
    std::vector<std::unique_ptr<QTranslator>> translators;
    for (const QFileInfo& file : QDir(QStringLiteral(":/i18n")).entryInfoList({QStringLiteral("*.qm")})) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(file.filePath()) && QCoreApplication::installTranslator(translator.get()))
            translators.push_back(std::move(translator));
    }

    PlatformBackend platform = PlatformBackend::create(TimerSource::system());
    if (!platform.isComplete())
        std::fprintf(stderr, "orvane: %s\n", qUtf8Printable(platform.unavailableReason));

    Application application(platform);
    QTimer::singleShot(0, &application, [&application] { application.start(); });
    return QCoreApplication::exec();
}
