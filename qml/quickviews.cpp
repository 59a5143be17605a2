#include "qml/quickviews.h"

#include "core/logging.h"

#include <QQmlComponent>
#include <QQuickWindow>

#include <memory>

namespace {

/** For measuring how fast a window appears: each first frame after showing is logged. */
void logFirstFrames(QQuickWindow* window) {
    if (!lcApplication().isDebugEnabled())
        return;
    QObject::connect(window, &QWindow::visibleChanged, window, [window](bool visible) {
        if (!visible)
            return;
        auto connection = std::make_shared<QMetaObject::Connection>();
        // Direct: with the threaded render loop the swap happens on the render thread.
        *connection = QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [connection, name = window->objectName()] {
                QObject::disconnect(*connection);
                qCDebug(lcApplication, "Window %s first frame swapped", qUtf8Printable(name));
            },
            Qt::DirectConnection);
    });
}

} // namespace

QuickViews::QuickViews() {
    // A small widget and a few pages need no GPU; set before the first window exists.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    m_engine = std::make_unique<QQmlEngine>();
    // The views import their modules by name; Qt 6.4 does not search the resources by itself.
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    qCDebug(lcApplication, "QML engine created");
}

QuickViews::~QuickViews() = default;

QWindow* QuickViews::createView(const QUrl& view, QObject& content) {
    QQmlComponent component(m_engine.get(), view);
    QObject* root = component.isError()
                        ? nullptr
                        : component.createWithInitialProperties(
                              {{QStringLiteral("content"), QVariant::fromValue(&content)}});
    auto* window = qobject_cast<QQuickWindow*>(root);
    if (!window) {
        qCCritical(lcApplication, "Failed to create the view %s: %s",
                   qUtf8Printable(view.toString()), qUtf8Printable(component.errorString()));
        delete root;
        return nullptr;
    }
    logFirstFrames(window);
    return window;
}
