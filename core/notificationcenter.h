#pragma once

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

/**
 * Named notifications between components that do not know each other. Observers are
 * tied to a context object and vanish with it; handlers run synchronously on the
 * thread that posts.
 */
class NotificationCenter {
public:
    using Handler = std::function<void(const QVariantMap& userInfo)>;
    using Token = quint64;

    /** The application-wide centre. */
    static NotificationCenter& defaultCenter();

    /** Calls handler for every post of name until context is destroyed or the token removed. */
    Token addObserver(const QString& name, const QObject* context, Handler handler);
    void removeObserver(Token token);

    void post(const QString& name, const QVariantMap& userInfo = {});

private:
    struct Observer {
        Token token;
        QString name;
        QPointer<const QObject> context;
        std::shared_ptr<Handler> handler;
    };

    QMutex m_mutex;
    std::vector<Observer> m_observers;
    Token m_nextToken = 1;
};
