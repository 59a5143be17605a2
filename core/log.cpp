#include "core/log.h"

#include <QHash>
#include <QMutex>

#include <memory>

namespace {

// QLoggingCategory keeps a pointer to its name, so names and categories live for
// the whole process, one per category.
const QLoggingCategory* categoryNamed(const char* category) {
    static QMutex mutex;
    static QHash<QByteArray, std::shared_ptr<std::pair<QByteArray, QLoggingCategory*>>> known;

    const QMutexLocker lock(&mutex);
    const QByteArray name = Log::subsystem() + category;
    auto& slot = known[name];
    if (!slot) {
        slot = std::make_shared<std::pair<QByteArray, QLoggingCategory*>>(name, nullptr);
        // Info and above by default; debug only when a logging rule asks for it.
        slot->second = new QLoggingCategory(slot->first.constData(), QtInfoMsg);
    }
    return slot->second;
}

} // namespace

Log::Log(const char* category)
    : m_category(categoryNamed(category)) {}

QByteArray Log::subsystem() {
    return QByteArrayLiteral("org.orvane.Orvane.");
}

void Log::write(QtMsgType type, const QString& message) const {
    QMessageLogger logger(nullptr, 0, nullptr, m_category->categoryName());
    switch (type) {
    case QtDebugMsg:
        logger.debug("%s", qUtf8Printable(message));
        break;
    case QtInfoMsg:
        logger.info("%s", qUtf8Printable(message));
        break;
    default:
        logger.critical("%s", qUtf8Printable(message));
        break;
    }
}
