#include "core/notificationcenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name,
                                                          const QObject* context, Handler handler) {
    Q_ASSERT(context);
    const QMutexLocker lock(&m_mutex);
    const Token token = m_nextToken++;
    m_observers.push_back({token, name, QPointer<const QObject>(context),
                           std::make_shared<Handler>(std::move(handler))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    const QMutexLocker lock(&m_mutex);
    std::erase_if(m_observers, [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo) {
    // Handlers run outside the lock so that they may post or (un)register themselves.
    std::vector<std::pair<QPointer<const QObject>, std::shared_ptr<Handler>>> matching;
    {
        const QMutexLocker lock(&m_mutex);
        std::erase_if(m_observers, [](const Observer& o) { return o.context.isNull(); });
        for (const Observer& o : m_observers) {
            if (o.name == name)
                matching.emplace_back(o.context, o.handler);
        }
    }
    for (const auto& [context, handler] : matching) {
        if (!context.isNull())
            (*handler)(userInfo);
    }
}
