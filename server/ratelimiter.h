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

/**
 * Growing delays instead of a ban: after free failures of a key, each further attempt
 * waits twice as long as the one before (from one second up to capSeconds) after the
 * latest failure. A key quiet for windowMs starts afresh.
 */
class BackoffLimiter {
public:
    BackoffLimiter(int free, qint64 capSeconds, qint64 windowMs);

    /** Seconds until the key may try again, 0 when it may now. */
    [[nodiscard]] qint64 retryAfterSeconds(const QString& key);
    void recordFailure(const QString& key);
    void reset(const QString& key) { m_failures.remove(key); }

private:
    struct Failures {
        int count = 0;
        QDateTime latest;
    };

    int m_free;
    qint64 m_capSeconds;
    qint64 m_windowMs;
    QHash<QString, Failures> m_failures;
};

} // namespace OrvaneServer
