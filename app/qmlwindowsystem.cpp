#include "app/qmlwindowsystem.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <functional>
#include <memory>

using AppConstants::Window;

namespace {

/**
 * A window whose content exists from the start (it may listen for hotkeys) and whose
 * view is built when the window is first shown or placed, so that nothing of Qt Quick
 * is loaded for windows that were never opened.
 */
class LazyAppWindow final : public AppWindow {
public:
    using Build = std::function<QWindow*(QObject& content)>;

    LazyAppWindow(std::unique_ptr<QObject> content, Build build)
        : m_content(std::move(content))
        , m_build(std::move(build)) {}
    ~LazyAppWindow() override { delete m_window.data(); }

    void show() override {
        QWindow* window = built();
        if (!window)
            return;
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
        QWindow* window = built();
        return window ? window->geometry() : QRect();
    }
    void setFrame(const QRect& frame) override {
        if (QWindow* window = built())
            window->setGeometry(frame);
    }
    void prepare() override {
        // The native window too: showing is then only mapping and drawing.
        if (QWindow* window = built())
            window->create();
    }

private:
    QWindow* built() const {
        if (!m_window && m_build) {
            // Taken first: the view may ask for the frame while it is being built, and a
            // view that failed once fails again.
            const Build build = std::move(m_build);
            m_build = nullptr;
            m_window = build(*m_content);
        }
        return m_window;
    }

    std::unique_ptr<QObject> m_content;
    mutable Build m_build;
    mutable QPointer<QWindow> m_window;
};

} // namespace

QmlWindowSystem::QmlWindowSystem() = default;

QmlWindowSystem::~QmlWindowSystem() {
    // The engine goes with the plugin's instance; the library stays mapped, since Qt's
    // QML type registry still refers to it until the process ends.
    delete m_plugin.data();
}

QStringList QmlWindowSystem::pluginCandidates() {
    const QDir executableDir(QCoreApplication::applicationDirPath());
    return {executableDir.filePath(QStringLiteral("orvane-views.so")),
            QDir::cleanPath(executableDir.filePath(
                QStringLiteral(ORVANE_VIEWS_INSTALL_DIR "/orvane-views.so")))};
}

ViewFactory* QmlWindowSystem::views() {
    if (!m_loadTried) {
        m_loadTried = true;
        QStringList failures;
        for (const QString& path : pluginCandidates()) {
            if (!QFileInfo::exists(path))
                continue;
            m_loader.setFileName(path);
            m_plugin = m_loader.instance();
            if (m_plugin)
                break;
            failures << m_loader.errorString();
        }
        if (m_plugin)
            qCDebug(lcApplication, "Views loaded from %s", qUtf8Printable(m_loader.fileName()));
        else
            qCCritical(lcApplication, "Cannot load the views (%s): %s",
                       qUtf8Printable(pluginCandidates().join(QStringLiteral(", "))),
                       failures.isEmpty() ? "not found"
                                          : qUtf8Printable(failures.join(QStringLiteral("; "))));
    }
    return qobject_cast<ViewFactory*>(m_plugin.data());
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
    return std::make_unique<LazyAppWindow>(
        std::move(content), [this, kind, view](QObject& content) -> QWindow* {
            ViewFactory* factory = views();
            QWindow* window = factory ? factory->createView(view, content) : nullptr;
            if (!window) {
                qCCritical(lcApplication, "Failed to create window %s",
                           qUtf8Printable(AppConstants::rawValue(kind)));
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
