#pragma once

#include <QString>

#include <optional>

namespace AppConstants {

/** The coordinator's windows; the raw value is the window's identifier. */
enum class Window {
    mainGroupId,
    authGroupId,
    settingsGroupId,
    noConnectionGroupId,
    helpCenterGroupId,
};

[[nodiscard]] QString rawValue(Window window);
[[nodiscard]] std::optional<Window> windowFromRawValue(const QString& raw);

/** The application id: desktop file name, autostart entry and log subsystem. */
inline const QString applicationId = QStringLiteral("org.orvane.Orvane");

} // namespace AppConstants
