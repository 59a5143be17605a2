#pragma once

#include "core/timer.h"

#include <chrono>
#include <vector>

/** Timers that fire only when the test advances time. */
class ManualTimerSource final : public TimerSource {
public:
    std::unique_ptr<Timer> createTimer() override;

    /** Moves the clock forward, firing every due timer in deadline order. */
    void advance(std::chrono::milliseconds by);
    /** Number of timers currently running. */
    [[nodiscard]] int activeCount() const;

private:
    friend class ManualTimer;
    std::vector<class ManualTimer*> m_timers;
    std::chrono::milliseconds m_now{0};
};
