#pragma once

#include <QObject>

#include <functional>
#include <memory>

class AppEvents;
class AppMenuViewModel;
class MainCoordinator;
class QAction;
class QPlatformMenu;
class QPlatformSystemTrayIcon;

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
 * and quit, with their key equivalents, as QAction children in order (separators
 * included). The "open" item follows the widget hotkey.
 */
class AppMenu final : public QObject {
    Q_OBJECT

public:
    AppMenu(AppMenuActions actions, AppEvents& events, QObject* parent = nullptr);
    ~AppMenu() override;

    [[nodiscard]] QList<QAction*> actions() const;
    [[nodiscard]] QAction& openAction() const { return *m_open; }

private:
    QAction* addItem(const char* titleId, const QKeySequence& shortcut,
                     std::function<void()> action);
    void addSeparator();

    AppMenuViewModel* m_model;
    QAction* m_open = nullptr;
};

/**
 * The tray icon with the application menu, shown while the coordinator asks for it.
 * It is the platform's own tray (a StatusNotifierItem over D-Bus on Linux), so no
 * widget toolkit is loaded for it; without a tray host there is no icon and the
 * hotkeys stay the way in.
 */
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    TrayIcon(MainCoordinator& coordinator, AppEvents& events, QObject* parent = nullptr);
    ~TrayIcon() override;

    [[nodiscard]] AppMenu& appMenu() const { return *m_appMenu; }

private:
    void refreshVisibility();
    void show();
    void hide();

    MainCoordinator& m_coordinator;
    AppMenu* m_appMenu;
    std::unique_ptr<QPlatformSystemTrayIcon> m_icon;
    std::unique_ptr<QPlatformMenu> m_menu;
};
