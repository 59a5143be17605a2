#pragma once

#include <QUrl>

#include <optional>

/** Whether this process may read selections and post keys in other applications. */
class PermissionsManagerProtocol {
public:
    virtual ~PermissionsManagerProtocol() = default;

    /** Asked afresh at every decision; prompt lets the system explain what is missing. */
    [[nodiscard]] virtual bool isTrusted(bool prompt) = 0;
    /** Where the system grants the permission; absent on platforms without such a page. */
    [[nodiscard]] virtual std::optional<QUrl> accessibilityUrl() const = 0;
    /** Opens that page; does nothing without one. */
    virtual void openAccessibilitySettings() = 0;
};
