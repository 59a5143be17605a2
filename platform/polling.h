#pragma once

#include <chrono>
#include <functional>

class TimerSource;

/**
 * Asks check every interval until it answers true or attempts run out, then calls
 * finished with the last answer. The first check runs one interval from now, so
 * finished never runs before this returns.
 */
void pollUntil(TimerSource& timers, std::chrono::milliseconds interval, int attempts,
               std::function<bool()> check, std::function<void(bool)> finished);
