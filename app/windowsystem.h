#pragma once

#include "core/appconstants.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

class QUrl;
class QWindow;

/** A screen as the coordinator tells them apart. */
struct ScreenInfo {
    QString name;
    QRect geometry;

    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

/** One of the coordinator's top-level windows. Closing hides it; it can be shown again. */
class AppWindow {
public:
    virtual ~AppWindow() = default;

    /** Brings the window to the front and asks for the keyboard focus. */
    virtual void show() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isVisible() const = 0;
    /** Outer geometry in screen coordinates, y growing downwards. */
    [[nodiscard]] virtual QRect frame() const = 0;
    virtual void setFrame(const QRect& frame) = 0;
    /** Builds what showing needs, without showing; windows with nothing to build skip it. */
    virtual void prepare() {}
};

/** Creates the coordinator's windows with their contents, and answers about screens. */
class WindowSystemProtocol {
public:
    virtual ~WindowSystemProtocol() = default;

    /**
     * A new, hidden window of the given kind, centred on its screen, with its content.
     * Answers nullptr when the content cannot be built.
     */
    [[nodiscard]] virtual std::unique_ptr<AppWindow> createWindow(AppConstants::Window kind) = 0;
    /** The screen the user works on now (the one with the pointer), if any. */
    [[nodiscard]] virtual std::optional<ScreenInfo> mainScreen() const = 0;
};

/**
 * Builds the windows' QML views. It brings Qt Quick and the QML engine, so it lives in a
 * plugin that the application loads when the first window is shown: an Orvane that sits
 * in the tray has none of it in memory.
 */
class ViewFactory {
public:
    virtual ~ViewFactory() = default;

    /**
     * A new, hidden window showing view, whose required property "content" is content.
     * Answers nullptr, with the reason logged, when the view cannot be built.
     */
    [[nodiscard]] virtual QWindow* createView(const QUrl& view, QObject& content) = 0;
};

#define ORVANE_VIEW_FACTORY_IID "org.orvane.Orvane.ViewFactory/1"
Q_DECLARE_INTERFACE(ViewFactory, ORVANE_VIEW_FACTORY_IID)
