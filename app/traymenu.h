#pragma once

#include <QObject>

#include <functional>
#include <memory>

class AppEvents;
class AppMenuViewModel;
class MainCoordinator;
class QAction;
class QMenu;
class QSystemTrayIcon;

/** What the tray menu's items do. */
struct AppMenuActions {
    std::function<void()> open;
    std::function<void()> close;
    std::function<void()> toggle;
    std::function<void()> settings;
    std::function<void()> help;
    std::function<void()> updates;
    std::function<void()> quit;

    /** The coordinator's actions. */
    static AppMenuActions forCoordinator(MainCoordinator& coordinator);
};

/**
 * The application menu: open, close and toggle the widget, settings, help, updates
 * and quit, with their key equivalents. The "open" item follows the widget hotkey.
 */
class AppMenu final : public QObject {
    Q_OBJECT

public:
    AppMenu(AppMenuActions actions, AppEvents& events, QObject* parent = nullptr);
    ~AppMenu() override;

    [[nodiscard]] QMenu& menu() const { return *m_menu; }
    [[nodiscard]] QAction& openAction() const { return *m_open; }

private:
    std::unique_ptr<QMenu> m_menu;
    AppMenuViewModel* m_model;
    QAction* m_open = nullptr;
};

/** The tray icon with the application menu, shown while the coordinator asks for it. */
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    TrayIcon(MainCoordinator& coordinator, AppEvents& events, QObject* parent = nullptr);
    ~TrayIcon() override;

    [[nodiscard]] AppMenu& appMenu() const { return *m_appMenu; }

private:
    void refreshVisibility();

    MainCoordinator& m_coordinator;
    AppMenu* m_appMenu;
    QSystemTrayIcon* m_icon;
};
