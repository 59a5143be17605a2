#include "platform/polling.h"

#include "core/timer.h"

#include <QCoreApplication>

#include <memory>

void pollUntil(TimerSource& timers, std::chrono::milliseconds interval, int attempts,
               std::function<bool()> check, std::function<void(bool)> finished) {
    std::shared_ptr<Timer> timer = timers.createTimer();
    auto left = std::make_shared<int>(attempts);
    // The running timer keeps itself alive through its own action; once finished,
    // the last reference is dropped from the event loop, not inside the action.
    timer->start(interval, Timer::Mode::Repeating,
                 [timer, left, check = std::move(check), finished = std::move(finished)]() mutable {
                     if (!timer)
                         return;
                     const bool ok = check();
                     if (!ok && --*left > 0)
                         return;
                     timer->stop();
                     std::shared_ptr<Timer> last = std::move(timer);
                     QMetaObject::invokeMethod(
                         QCoreApplication::instance(), [last] {}, Qt::QueuedConnection);
                     finished(ok);
                 });
}
