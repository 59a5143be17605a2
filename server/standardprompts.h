#pragma once

#include <QString>

namespace OrvaneServer {

class Database;

/** Writes the built-in prompts every user sees, in their fixed order. */
bool seedStandardPrompts(const Database& database, QString* error);

/** System message for free-form commands typed into the widget. */
[[nodiscard]] QString commandSystemMessage();

/** Temperature of free-form commands. */
constexpr double CommandTemperature = 0.7;

} // namespace OrvaneServer
