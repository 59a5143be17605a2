#include "ratelimiter.h"

namespace OrvaneServer {

RateLimiter::RateLimiter(int limit, qint64 windowMs)
    : m_limit(limit)
    , m_windowMs(windowMs) {}

void RateLimiter::prune(const QString& key, const QDateTime& now) {
    auto it = m_events.find(key);
    if (it == m_events.end())
        return;
    while (!it->isEmpty() && it->first().msecsTo(now) >= m_windowMs)
        it->removeFirst();
    if (it->isEmpty())
        m_events.erase(it);
}

qint64 RateLimiter::retryAfterSeconds(const QString& key) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    prune(key, now);
    const QList<QDateTime> events = m_events.value(key);
    if (events.size() < m_limit)
        return 0;
    const qint64 waitMs = m_windowMs - events.at(events.size() - m_limit).msecsTo(now);
    return std::max<qint64>(1, (waitMs + 999) / 1000);
}

void RateLimiter::record(const QString& key) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    prune(key, now);
    m_events[key].append(now);
    // Old keys are dropped as they are touched; bound the table against floods of new keys.
    if (m_events.size() > 100000)
        m_events.clear();
}

void RateLimiter::forgetLatest(const QString& key) {
    auto it = m_events.find(key);
    if (it == m_events.end())
        return;
    it->removeLast();
    if (it->isEmpty())
        m_events.erase(it);
}

void RateLimiter::reset(const QString& key) {
    m_events.remove(key);
}

} // namespace OrvaneServer
