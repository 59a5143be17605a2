#pragma once

#include <QLoggingCategory>
#include <QString>

/**
 * A component's logging handle. Messages go through Qt's message handler under the
 * category "org.orvane.Orvane." + category (the journal when run under systemd).
 * Debug output is off unless enabled with QT_LOGGING_RULES; a disabled message is
 * never converted to text.
 */
class Log {
public:
    explicit Log(const char* category);

    template <typename Message>
    void debug(const Message& message) const {
        if (m_category->isDebugEnabled())
            write(QtDebugMsg, QString(message));
    }
    template <typename Message>
    void info(const Message& message) const {
        if (m_category->isInfoEnabled())
            write(QtInfoMsg, QString(message));
    }
    template <typename Message>
    void error(const Message& message) const {
        if (m_category->isCriticalEnabled())
            write(QtCriticalMsg, QString(message));
    }

    [[nodiscard]] const QLoggingCategory& category() const { return *m_category; }

    /** The prefix every category name starts with: the application id and a dot. */
    static QByteArray subsystem();

private:
    void write(QtMsgType type, const QString& message) const;

    const QLoggingCategory* m_category;
};
