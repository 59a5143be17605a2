#include "app/qmlwindowsystem.h"

#include "core/logging.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QScreen>

#include <memory>

using AppConstants::Window;

namespace {

class QuickAppWindow final : public AppWindow {
public:
    explicit QuickAppWindow(QQuickWindow* window)
        : m_window(window) {}
    ~QuickAppWindow() override { delete m_window.data(); }

    void show() override {
        if (!m_window)
            return;
        if (!m_window->isVisible())
            logFirstFrame();
        m_window->show();
        m_window->raise();
        m_window->requestActivate();
    }
    void close() override {
        if (m_window)
            m_window->hide();
    }
    bool isVisible() const override { return m_window && m_window->isVisible(); }
    QRect frame() const override { return m_window ? m_window->geometry() : QRect(); }
    void setFrame(const QRect& frame) override {
        if (m_window)
            m_window->setGeometry(frame);
    }

private:
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

    QPointer<QQuickWindow> m_window;
};

} // namespace

QmlWindowSystem::QmlWindowSystem(QQmlEngine& engine)
    : m_engine(engine) {}

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
    QQmlComponent component(&m_engine, provider->second->viewUrl());
    QObject* root = component.isError()
                        ? nullptr
                        : component.createWithInitialProperties(
                              {{QStringLiteral("content"), QVariant::fromValue(content.get())}});
    auto* window = qobject_cast<QQuickWindow*>(root);
    if (!window) {
        qCCritical(lcApplication, "Failed to create window %s: %s",
                   qUtf8Printable(AppConstants::rawValue(kind)),
                   qUtf8Printable(component.errorString()));
        delete root;
        return nullptr;
    }
    content.release()->setParent(window);
    window->setObjectName(AppConstants::rawValue(kind));
    // WM_WINDOW_ROLE: the kind, so that tools and window rules tell the windows apart
    // without depending on their translated titles.
    window->setProperty("_q_xcb_wm_window_role", AppConstants::rawValue(kind).toUtf8());
    if (QScreen* screen = window->screen()) {
        const QRect area = screen->availableGeometry();
        window->setPosition(area.x() + (area.width() - window->width()) / 2,
                            area.y() + (area.height() - window->height()) / 2);
    }
    return std::make_unique<QuickAppWindow>(window);
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
