#include "webpage/pagesession.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdio>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(Orvane_WebPagePlugin)

// Orvane's page helper: one service page, embedded into orvane's window. Keeping the
// browser engine in this process lets orvane give all of it back when the page closes.
int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvane-webpage"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    PageSession session(STDIN_FILENO, stdout);
    session.start();
    return QCoreApplication::exec();
}
