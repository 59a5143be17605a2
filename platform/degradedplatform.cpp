#include "platform/degradedplatform.h"

#include <QCoreApplication>
#include <QTimer>

void UnavailableWindowTracker::activate(const RunningApp&, std::function<void(bool)> done) {
    if (done)
        QTimer::singleShot(0, QCoreApplication::instance(), [done] { done(false); });
}

bool UnavailableWindowTracker::isOwnApp(const RunningApp& app) const {
    return app.processId == QCoreApplication::applicationPid();
}

void UnavailableKeyboardManager::whenModifiersReleased(std::function<void()> ready) {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(ready));
}
