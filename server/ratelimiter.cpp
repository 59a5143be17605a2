#include "ratelimiter.h"

#include <algorithm>

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

BackoffLimiter::BackoffLimiter(int free, qint64 capSeconds, qint64 windowMs)
    : m_free(free)
    , m_capSeconds(capSeconds)
    , m_windowMs(windowMs) {}

qint64 BackoffLimiter::retryAfterSeconds(const QString& key) {
    const auto it = m_failures.constFind(key);
    if (it == m_failures.cend() || it->count < m_free)
        return 0;
    const qint64 sinceMs = it->latest.msecsTo(QDateTime::currentDateTimeUtc());
    if (sinceMs >= m_windowMs) {
        m_failures.remove(key);
        return 0;
    }
    const int doublings = std::min(it->count - m_free, 30);
    const qint64 delayMs = std::min<qint64>(m_capSeconds, qint64(1) << doublings) * 1000;
    return sinceMs >= delayMs ? 0 : (delayMs - sinceMs + 999) / 1000;
}

void BackoffLimiter::recordFailure(const QString& key) {
    Failures& failures = m_failures[key];
    if (failures.latest.isValid() &&
        failures.latest.msecsTo(QDateTime::currentDateTimeUtc()) >= m_windowMs)
        failures.count = 0;
    ++failures.count;
    failures.latest = QDateTime::currentDateTimeUtc();
    if (m_failures.size() > 100000)
        m_failures.clear();
}

} // namespace OrvaneServer
