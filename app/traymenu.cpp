#include "app/traymenu.h"

#include "app/appmenuviewmodel.h"
#include "app/maincoordinator.h"
#include "core/logging.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace {

/** The "stars" mark: one large and one small four-pointed star. */
QIcon starsIcon()
{
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

QAction* addItem(QMenu& menu, const char* titleId, const QKeySequence& shortcut, const std::function<void()>& action)
{
    QAction* item = menu.addAction(qtTrId(titleId));
    item->setShortcut(shortcut);
    // The tray menu is not in any window: its keys must not fire from the application.
    item->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(item, &QAction::triggered, &menu, [action] {
        if (action)
            action();
    });
    return item;
}

} // namespace

AppMenuActions AppMenuActions::forCoordinator(MainCoordinator& coordinator)
{
    return {[&coordinator] { coordinator.openWidgetAction(); },
            [&coordinator] { coordinator.hideWidgetAction(); },
            [&coordinator] { coordinator.toggleWidget(); },
            [&coordinator] { coordinator.openSettingsAction(); },
            [&coordinator] { coordinator.openHelpCenter(); },
            [&coordinator] { coordinator.checkForUpdates(); },
            [] { QCoreApplication::quit(); }};
}

AppMenu::AppMenu(AppMenuActions actions, AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_menu(std::make_unique<QMenu>())
    , m_model(new AppMenuViewModel(events, this))
{
    QMenu& menu = *m_menu;
    m_open = addItem(menu, "statusbar.menu.open", m_model->openShortcut(), actions.open);
    addItem(menu, "statusbar.menu.close", QKeySequence(Qt::Key_Escape), actions.close);
    addItem(menu, "statusbar.menu.toggle", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X), actions.toggle);
    menu.addSeparator();
    addItem(menu, "statusbar.menu.settings", QKeySequence(Qt::CTRL | Qt::Key_Comma), actions.settings);
    menu.addSeparator();
    addItem(menu, "statusbar.menu.help", {}, actions.help);
    addItem(menu, "statusbar.menu.updates", {}, actions.updates);
    menu.addSeparator();
    addItem(menu, "statusbar.menu.quit", QKeySequence(Qt::CTRL | Qt::Key_Q), actions.quit);
    connect(m_model, &AppMenuViewModel::windowHotkeyChanged, this,
            [this] { m_open->setShortcut(m_model->openShortcut()); });
}

AppMenu::~AppMenu() = default;

TrayIcon::TrayIcon(MainCoordinator& coordinator, AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_appMenu(new AppMenu(AppMenuActions::forCoordinator(coordinator), events, this))
    , m_icon(new QSystemTrayIcon(starsIcon(), this))
{
    m_icon->setToolTip(QStringLiteral("Orvane"));
    m_icon->setContextMenu(&m_appMenu->menu());
    connect(&coordinator, &MainCoordinator::showMenuBarExtraChanged, this, &TrayIcon::refreshVisibility);
    refreshVisibility();
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::refreshVisibility()
{
    // Without a tray Orvane stays usable through its hotkeys.
    const bool wanted = m_coordinator.showMenuBarExtra();
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    m_icon->setVisible(wanted && available);
    qCDebug(lcApplication, "Tray icon %s, system tray %s", wanted ? "wanted" : "not wanted",
            available ? "available" : "unavailable");
}
