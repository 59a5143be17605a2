#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace OrvaneServer {

/** Counts events per key in a sliding window and says when a key has used up its allowance. */
class RateLimiter {
public:
    RateLimiter(int limit, qint64 windowMs);

    /** Seconds until the key may try again, 0 when it may now. */
    [[nodiscard]] qint64 retryAfterSeconds(const QString& key);
    void record(const QString& key);
    void reset(const QString& key);
    /** Takes back the most recent event of key (an attempt that turned out fine). */
    void forgetLatest(const QString& key);

private:
    void prune(const QString& key, const QDateTime& now);

    int m_limit;
    qint64 m_windowMs;
    QHash<QString, QList<QDateTime>> m_events;
};

} // namespace OrvaneServer
