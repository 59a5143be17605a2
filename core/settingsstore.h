#pragma once

#include <QSettings>

#include <memory>

/**
 * The per-user key-value store: an INI file under the XDG config directory
 * (organisation "Orvane", application "Orvane"). Every caller opens its own handle;
 * handles in one process share the same data, so nothing needs caching. Tests move
 * it with QSettings::setPath(IniFormat, UserScope, dir).
 */
[[nodiscard]] std::unique_ptr<QSettings> openSettingsStore();

/** Writes one line to standard output, where undecodable settings are reported. */
void writeToStandardOutput(const QString& line);
