#pragma once

#include <chrono>
#include <functional>
#include <memory>

/** A timer owned by one component; destroying it stops it. */
class Timer {
public:
    enum class Mode { Repeating, SingleShot };

    virtual ~Timer() = default;
    /** (Re)starts the timer; action runs on the thread that owns the timer. */
    virtual void start(std::chrono::milliseconds interval, Mode mode,
                       std::function<void()> action) = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;
};

/** Creates timers. Components take one so that tests can drive time by hand. */
class TimerSource {
public:
    virtual ~TimerSource() = default;
    [[nodiscard]] virtual std::unique_ptr<Timer> createTimer() = 0;
};

/** Timers of the Qt event loop. */
class SystemTimerSource final : public TimerSource {
public:
    [[nodiscard]] std::unique_ptr<Timer> createTimer() override;
};
