#include "core/timer.h"

#include <QTimer>

namespace {

class QtTimer final : public Timer {
public:
    QtTimer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            // Copy: the action may restart or destroy this timer.
            auto action = m_action;
            if (action)
                action();
        });
    }

    void start(std::chrono::milliseconds interval, Mode mode,
               std::function<void()> action) override {
        m_action = std::move(action);
        m_timer.setSingleShot(mode == Mode::SingleShot);
        m_timer.start(interval);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_action;
};

} // namespace

std::unique_ptr<Timer> SystemTimerSource::createTimer() {
    return std::make_unique<QtTimer>();
}
