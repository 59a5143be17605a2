#pragma once

#include <QObject>
#include <QUrl>

#include <memory>

/**
 * What one kind of window shows: its QML view and the object (usually a view model)
 * handed to the view's required property "content". The window owns the content.
 */
class WindowContentProvider {
public:
    virtual ~WindowContentProvider() = default;

    /** The QML file of the window; its root item is a Window. */
    [[nodiscard]] virtual QUrl viewUrl() const = 0;
    /** The content, or nullptr when the window cannot be built now. */
    [[nodiscard]] virtual std::unique_ptr<QObject> createContent() = 0;
};
