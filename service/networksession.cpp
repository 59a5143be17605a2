#include "service/networksession.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QThread>

QNetworkAccessManager& networkSession() {
    static thread_local QPointer<QNetworkAccessManager> session;
    if (!session) {
        session = new QNetworkAccessManager;
        session->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
        // A worker thread's manager goes with its event loop; the main thread's with the process.
        if (QThread* thread = QThread::currentThread(); thread != nullptr)
            QObject::connect(thread, &QThread::finished, session, &QObject::deleteLater);
    }
    return *session;
}
