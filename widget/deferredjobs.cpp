#include "widget/deferredjobs.h"

#include <algorithm>

void DeferredJobs::after(std::chrono::milliseconds delay, std::function<void()> job) {
    // Fired timers are dropped here, except the one whose job is running now.
    std::erase_if(m_pending, [this](const std::unique_ptr<Timer>& timer) {
        return !timer->isActive() && timer.get() != m_firing;
    });
    auto timer = m_timers.createTimer();
    const Timer* raw = timer.get();
    timer->start(delay, Timer::Mode::SingleShot, [this, raw, job = std::move(job)] {
        const Timer* outer = m_firing;
        m_firing = raw;
        job();
        m_firing = outer;
    });
    m_pending.push_back(std::move(timer));
}
