#include "app/application.h"
#include "core/appconstants.h"
#include "core/timer.h"
#include "platform/platformbackend.h"

#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QTimer>
#include <QTranslator>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(Orvane_ViewsPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_SettingsPlugin)
Q_IMPORT_QML_PLUGIN(Orvane_Settings_ModelsPlugin)

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

} // namespace

int main(int argc, char* argv[]) {
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

    // Every view module brings its own English texts under :/i18n.
    std::vector<std::unique_ptr<QTranslator>> translators;
    for (const QFileInfo& file :
         QDir(QStringLiteral(":/i18n")).entryInfoList({QStringLiteral("*.qm")})) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(file.filePath()) &&
            QCoreApplication::installTranslator(translator.get()))
            translators.push_back(std::move(translator));
    }

    SystemTimerSource timers;
    PlatformBackend platform = PlatformBackend::create(timers);
    if (!platform.isComplete())
        std::fprintf(stderr, "orvane: %s\n", qUtf8Printable(platform.unavailableReason));

    if (platform.appearance->isDark() &&
        QGuiApplication::palette().color(QPalette::Window).lightness() >= 128)
        applyDarkPalette();

    Application application(platform, timers);
    QTimer::singleShot(0, &application, [&application] { application.start(); });
    return QCoreApplication::exec();
}
