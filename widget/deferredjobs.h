#pragma once

#include "core/timer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

/** Runs jobs after a delay on timers of the given source; jobs die with this object. */
class DeferredJobs {
public:
    explicit DeferredJobs(TimerSource& timers)
        : m_timers(timers) {}

    void after(std::chrono::milliseconds delay, std::function<void()> job);

private:
    TimerSource& m_timers;
    std::vector<std::unique_ptr<Timer>> m_pending;
    const Timer* m_firing = nullptr;
};
