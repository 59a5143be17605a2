#pragma once

#include <QString>

/**
 * Starting Orvane at login, through an XDG autostart entry
 * ($XDG_CONFIG_HOME/autostart/org.orvane.Orvane.desktop). Enabled means the entry
 * exists and is not hidden. Failures are logged, never reported to the caller.
 */
namespace LoginItem {

[[nodiscard]] bool isEnabled();
/** Enabling again rewrites the entry, so it always starts the running executable. */
void setEnabled(bool enabled);
[[nodiscard]] QString autostartFilePath();

} // namespace LoginItem
