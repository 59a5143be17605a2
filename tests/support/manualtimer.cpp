#include "manualtimer.h"

#include <algorithm>
#include <functional>

class ManualTimer final : public Timer {
public:
    explicit ManualTimer(ManualTimerSource& source)
        : m_source(source) {
        m_source.m_timers.push_back(this);
    }
    ~ManualTimer() override { std::erase(m_source.m_timers, this); }

    void start(std::chrono::milliseconds interval, Mode mode,
               std::function<void()> action) override {
        m_interval = interval;
        m_mode = mode;
        m_action = std::move(action);
        m_deadline = m_source.m_now + interval;
        m_active = true;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    ManualTimerSource& m_source;
    std::chrono::milliseconds m_interval{0};
    std::chrono::milliseconds m_deadline{0};
    Mode m_mode = Mode::SingleShot;
    std::function<void()> m_action;
    bool m_active = false;
};

std::unique_ptr<Timer> ManualTimerSource::createTimer() {
    return std::make_unique<ManualTimer>(*this);
}

void ManualTimerSource::advance(std::chrono::milliseconds by) {
    const auto end = m_now + by;
    for (;;) {
        ManualTimer* next = nullptr;
        for (ManualTimer* t : m_timers) {
            if (t->m_active && t->m_deadline <= end && (!next || t->m_deadline < next->m_deadline))
                next = t;
        }
        if (!next)
            break;
        m_now = next->m_deadline;
        if (next->m_mode == Timer::Mode::Repeating)
            next->m_deadline += std::max(next->m_interval, std::chrono::milliseconds(1));
        else
            next->m_active = false;
        auto action = next->m_action; // the action may destroy or restart the timer
        if (action)
            action();
    }
    m_now = end;
}

int ManualTimerSource::activeCount() const {
    return static_cast<int>(std::count_if(m_timers.begin(), m_timers.end(),
                                          [](const ManualTimer* t) { return t->m_active; }));
}
