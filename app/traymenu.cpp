#include "app/traymenu.h"

#include "app/appmenuviewmodel.h"
#include "app/maincoordinator.h"
#include "core/logging.h"

#include <QAction>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformmenu.h>
#include <QtGui/qpa/qplatformsystemtrayicon.h>
#include <QtGui/qpa/qplatformtheme.h>

namespace {

/** The "stars" mark: one large and one small four-pointed star. */
QIcon starsIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const auto star = [&](QPointF centre, qreal radius) {
            const qreal waist = radius * 0.28;
            QPainterPath path;
            path.moveTo(centre.x(), centre.y() - radius);
            path.quadTo(centre.x() + waist, centre.y() - waist, centre.x() + radius, centre.y());
            path.quadTo(centre.x() + waist, centre.y() + waist, centre.x(), centre.y() + radius);
            path.quadTo(centre.x() - waist, centre.y() + waist, centre.x() - radius, centre.y());
            path.quadTo(centre.x() - waist, centre.y() - waist, centre.x(), centre.y() - radius);
            painter.fillPath(path, QColor(0x5b, 0x6c, 0xf0));
        };
        star(QPointF(size * 0.42, size * 0.56), size * 0.40);
        star(QPointF(size * 0.80, size * 0.22), size * 0.18);
        icon.addPixmap(pixmap);
    }
    return icon;
}

/** Copies what the platform's item shows from the action. */
void syncItem(QPlatformMenuItem& item, const QAction& action) {
    item.setIsSeparator(action.isSeparator());
    item.setText(action.text());
    item.setShortcut(action.shortcut());
    item.setEnabled(action.isEnabled());
}

} // namespace

AppMenuActions AppMenuActions::forCoordinator(MainCoordinator& coordinator) {
    return {[&coordinator] { coordinator.openWidgetAction(); },
            [&coordinator] { coordinator.hideWidgetAction(); },
            [&coordinator] { coordinator.toggleWidget(); },
            [&coordinator] { coordinator.openSettingsAction(); },
            [&coordinator] { coordinator.openHelpCenter(); },
            [&coordinator] { coordinator.checkForUpdates(); },
            [] {
                QCoreApplication::quit();
            }};
}

AppMenu::AppMenu(AppMenuActions actions, AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_model(new AppMenuViewModel(events, this)) {
    m_open = addItem("statusbar.menu.open", m_model->openShortcut(), actions.open);
    addItem("statusbar.menu.close", QKeySequence(Qt::Key_Escape), actions.close);
    addItem("statusbar.menu.toggle", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X),
            actions.toggle);
    addSeparator();
    addItem("statusbar.menu.settings", QKeySequence(Qt::CTRL | Qt::Key_Comma), actions.settings);
    addSeparator();
    addItem("statusbar.menu.help", {}, actions.help);
    addItem("statusbar.menu.updates", {}, actions.updates);
    addSeparator();
    addItem("statusbar.menu.quit", QKeySequence(Qt::CTRL | Qt::Key_Q), actions.quit);
    connect(m_model, &AppMenuViewModel::windowHotkeyChanged, this,
            [this] { m_open->setShortcut(m_model->openShortcut()); });
}

AppMenu::~AppMenu() = default;

QList<QAction*> AppMenu::actions() const {
    return findChildren<QAction*>(Qt::FindDirectChildrenOnly);
}

QAction* AppMenu::addItem(const char* titleId, const QKeySequence& shortcut,
                          std::function<void()> action) {
    auto* item = new QAction(qtTrId(titleId), this);
    // Shown next to the item only: the menu is in no window, so its keys must not fire
    // from the application's windows.
    item->setShortcutContext(Qt::WidgetShortcut);
    item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, [action = std::move(action)] {
        if (action)
            action();
    });
    return item;
}

void AppMenu::addSeparator() {
    (new QAction(this))->setSeparator(true);
}

TrayIcon::TrayIcon(MainCoordinator& coordinator, AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_appMenu(new AppMenu(AppMenuActions::forCoordinator(coordinator), events, this)) {
    connect(&coordinator, &MainCoordinator::showMenuBarExtraChanged, this,
            &TrayIcon::refreshVisibility);
    refreshVisibility();
}

TrayIcon::~TrayIcon() {
    hide();
}

void TrayIcon::refreshVisibility() {
    // Without a tray Orvane stays usable through its hotkeys.
    const bool wanted = m_coordinator.showMenuBarExtra();
    if (wanted)
        show();
    else
        hide();
    const bool available = m_icon && m_icon->isSystemTrayAvailable();
    qCDebug(lcApplication, "Tray icon %s, system tray %s", wanted ? "wanted" : "not wanted",
            available ? "available" : "unavailable");
}

void TrayIcon::show() {
    if (m_icon)
        return;
    // The theme offers an icon only where a tray host (a StatusNotifierWatcher) runs.
    QPlatformTheme* theme = QGuiApplicationPrivate::platformTheme();
    m_icon.reset(theme ? theme->createPlatformSystemTrayIcon() : nullptr);
    if (!m_icon)
        return;
    m_icon->init();
    m_icon->updateIcon(starsIcon());
    m_icon->updateToolTip(QStringLiteral("Orvane"));
    m_menu.reset(m_icon->createMenu());
    if (!m_menu)
        return;
    for (QAction* action : m_appMenu->actions()) {
        QPlatformMenuItem* item = m_menu->createMenuItem();
        if (!item)
            return;
        item->setParent(m_menu.get());
        item->setTag(reinterpret_cast<quintptr>(action));
        syncItem(*item, *action);
        connect(item, &QPlatformMenuItem::activated, action, &QAction::trigger);
        connect(action, &QAction::changed, item, [this, item, action] {
            syncItem(*item, *action);
            m_menu->syncMenuItem(item);
        });
        m_menu->insertMenuItem(item, nullptr);
    }
    m_icon->updateMenu(m_menu.get());
}

void TrayIcon::hide() {
    if (m_icon)
        m_icon->cleanup();
    m_icon.reset();
    m_menu.reset();
}
