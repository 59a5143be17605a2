#include "app/qmlwindowsystem.h"

#include "core/logging.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QScreen>

#include <functional>
#include <memory>

using AppConstants::Window;

namespace {

/**
 * A window whose content exists from the start (it may listen for hotkeys) and whose
 * QML view is built when the window is first shown or placed, so that nothing of Qt
 * Quick is loaded for windows that were never opened.
 */
class QuickAppWindow final : public AppWindow {
public:
    using Build = std::function<QQuickWindow*(QObject& content)>;

    QuickAppWindow(std::unique_ptr<QObject> content, Build build)
        : m_content(std::move(content))
        , m_build(std::move(build)) {}
    ~QuickAppWindow() override { delete m_window.data(); }

    void show() override {
        QQuickWindow* window = built();
        if (!window)
            return;
        if (!window->isVisible())
            logFirstFrame();
        window->show();
        window->raise();
        window->requestActivate();
    }
    void close() override {
        if (m_window)
            m_window->hide();
    }
    bool isVisible() const override { return m_window && m_window->isVisible(); }
    QRect frame() const override {
        QQuickWindow* window = built();
        return window ? window->geometry() : QRect();
    }
    void setFrame(const QRect& frame) override {
        if (QQuickWindow* window = built())
            window->setGeometry(frame);
    }

private:
    QQuickWindow* built() const {
        if (!m_window && m_build) {
            // Taken first: the view may ask for the frame while it is being built, and a
            // view that failed once fails again.
            const Build build = std::move(m_build);
            m_build = nullptr;
            m_window = build(*m_content);
        }
        return m_window;
    }

    /** For measuring how fast a window appears: the first frame after showing is on screen. */
    void logFirstFrame() {
        if (!lcApplication().isDebugEnabled())
            return;
        auto connection = std::make_shared<QMetaObject::Connection>();
        // Direct: with the threaded render loop the swap happens on the render thread.
        *connection = QObject::connect(
            m_window, &QQuickWindow::frameSwapped, m_window,
            [connection, name = m_window->objectName()] {
                QObject::disconnect(*connection);
                qCDebug(lcApplication, "Window %s first frame swapped", qUtf8Printable(name));
            },
            Qt::DirectConnection);
    }

    std::unique_ptr<QObject> m_content;
    mutable Build m_build;
    mutable QPointer<QQuickWindow> m_window;
};

} // namespace

QmlWindowSystem::QmlWindowSystem() = default;

QmlWindowSystem::~QmlWindowSystem() = default;

QQmlEngine& QmlWindowSystem::engine() {
    if (!m_engine) {
        // Set here, not at start, so that nothing of Qt Quick runs before the first view.
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        m_engine = std::make_unique<QQmlEngine>();
        // The views import their modules by name; Qt 6.4 does not search the resources by itself.
        m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        qCDebug(lcApplication, "QML engine created");
    }
    return *m_engine;
}

void QmlWindowSystem::setContentProvider(Window kind,
                                         std::unique_ptr<WindowContentProvider> provider) {
    m_providers[kind] = std::move(provider);
}

std::unique_ptr<AppWindow> QmlWindowSystem::createWindow(Window kind) {
    const auto provider = m_providers.find(kind);
    if (provider == m_providers.end()) {
        qCCritical(lcApplication, "No content for window %s",
                   qUtf8Printable(AppConstants::rawValue(kind)));
        return nullptr;
    }
    std::unique_ptr<QObject> content = provider->second->createContent();
    if (!content)
        return nullptr;
    const QUrl view = provider->second->viewUrl();
    return std::make_unique<QuickAppWindow>(
        std::move(content), [this, kind, view](QObject& content) -> QQuickWindow* {
            QQmlComponent component(&engine(), view);
            QObject* root = component.isError()
                                ? nullptr
                                : component.createWithInitialProperties(
                                      {{QStringLiteral("content"), QVariant::fromValue(&content)}});
            auto* window = qobject_cast<QQuickWindow*>(root);
            if (!window) {
                qCCritical(lcApplication, "Failed to create window %s: %s",
                           qUtf8Printable(AppConstants::rawValue(kind)),
                           qUtf8Printable(component.errorString()));
                delete root;
                return nullptr;
            }
            window->setObjectName(AppConstants::rawValue(kind));
            // WM_WINDOW_ROLE: the kind, so that tools and window rules tell the windows apart
            // without depending on their translated titles.
            window->setProperty("_q_xcb_wm_window_role", AppConstants::rawValue(kind).toUtf8());
            if (QScreen* screen = window->screen()) {
                const QRect area = screen->availableGeometry();
                window->setPosition(area.x() + (area.width() - window->width()) / 2,
                                    area.y() + (area.height() - window->height()) / 2);
            }
            return window;
        });
}

std::optional<ScreenInfo> QmlWindowSystem::mainScreen() const {
    // Focus follows the user: the screen under the pointer is the one they work on.
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return ScreenInfo{screen->name(), screen->availableGeometry()};
}
