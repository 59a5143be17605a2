#pragma once

#include <QString>

/** Names of the application-wide notifications posted on NotificationCenter. */
namespace Notifications {
inline const QString userLoggedOut = QStringLiteral("UserLoggedOut");
inline const QString windowHotkeyUpdated = QStringLiteral("WindowHotkeyUpdated");
inline const QString updateHotkeysRequested = QStringLiteral("UpdateHotkeysRequested");
inline const QString widgetHideRequested = QStringLiteral("WidgetHideRequested");
inline const QString promptsUpdated = QStringLiteral("PromptsUpdated");
inline const QString promptStarted = QStringLiteral("PromptStarted");
inline const QString promptCompleted = QStringLiteral("PromptCompleted");
inline const QString shortcutByNameDidChange = QStringLiteral("Shortcuts_shortcutByNameDidChange");
} // namespace Notifications
