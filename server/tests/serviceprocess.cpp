#include "serviceprocess.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>

#include <csignal>
#include <sys/resource.h>

QString serviceBinary() {
    return QStringLiteral(ORVANE_SERVICE_BINARY);
}

QByteArray HttpResult::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

ServiceProcess::ServiceProcess(QStringList extraArguments, const QString& databaseUrl,
                               const QString& binary, ResourceLimits limits)
    : m_databaseUrl(databaseUrl.isEmpty() ? QStringLiteral("sqlite:") + databasePath()
                                          : databaseUrl)
    , m_extraArguments(std::move(extraArguments)) {
    m_process.setProgram(binary.isEmpty() ? serviceBinary() : binary);
    m_process.setChildProcessModifier([limits] {
        // Ignored, the signal leaves the write failing with EFBIG instead of killing.
        ::signal(SIGXFSZ, SIG_IGN);
        if (limits.fileSizeBytes) {
            const rlimit size{limits.fileSizeBytes, limits.fileSizeBytes};
            ::setrlimit(RLIMIT_FSIZE, &size);
        }
        if (limits.openFiles) {
            const rlimit files{limits.openFiles, limits.openFiles};
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("ORVANE_LLM_URL"));
    environment.remove(QStringLiteral("ORVANE_LLM_MODEL"));
    // A test names its model servers: whatever runs on this machine's usual ports stays out.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    environment.insert(QStringLiteral("ORVANE_LLM_CANDIDATES"),
                       QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
    m_process.setProcessEnvironment(environment);
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_stderr += m_process.readAllStandardError(); });
    start(0);
}

bool ServiceProcess::start(quint16 port) {
    m_port = 0;
    m_failure.clear();
    m_process.setArguments(QStringList{QStringLiteral("--listen"),
                                       QStringLiteral("127.0.0.1:%1").arg(port),
                                       QStringLiteral("--database"), m_databaseUrl} +
                           m_extraArguments);
    m_process.start();
    QByteArray output;
    while (m_process.waitForReadyRead(10000)) {
        output += m_process.readAllStandardOutput();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"))
                .match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
            return true;
        }
        if (m_process.state() != QProcess::Running)
            break;
    }
    m_failure = QString::fromUtf8(output + m_process.readAllStandardError());
    return false;
}

ServiceProcess::~ServiceProcess() {
    if (m_process.state() == QProcess::Running) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QUrl ServiceProcess::url(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery));
}

QUrl ServiceProcess::socketUrl() const {
    return QUrl(QStringLiteral("ws://127.0.0.1:%1/auth_socket/0/auth").arg(m_port));
}

qint64 ServiceProcess::statusKiB(const QByteArray& field) const {
    QFile status(QStringLiteral("/proc/%1/status").arg(processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 ServiceProcess::cpuTicks() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields after the command name (which may hold spaces): utime and stime are 14 and 15.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

QByteArray ServiceProcess::log() {
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

HttpResult ServiceProcess::request(const QByteArray& method, const QString& path,
                                   const QByteArray& body,
                                   const QList<QPair<QByteArray, QByteArray>>& headers) {
    QNetworkRequest request(url(path));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.headers = reply->rawHeaderPairs();
    result.transportFailed = !reply->isFinished() || result.status == 0;
    reply->deleteLater();
    return result;
}

HttpResult ServiceProcess::withKey(const QByteArray& method, const QString& path,
                                   const QString& key, const QByteArray& body) {
    return request(
        method, path, body,
        {{"Authorization", "Bearer " + key.toLatin1()}, {"Content-Type", "application/json"}});
}

QByteArray ServiceProcess::admin(const QStringList& arguments, int* exitCode) {
    QProcess process;
    process.start(serviceBinary(),
                  arguments + QStringList{QStringLiteral("--database"), m_databaseUrl});
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput();
}

QString ServiceProcess::createUserWithKey(const QString& email, const QString& password) {
    const QString passwordFile = m_dir.filePath(QStringLiteral("password"));
    QFile file(passwordFile);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(password.toUtf8() + '\n');
    file.close();
    admin({QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("--email"), email,
           QStringLiteral("--password-file"), passwordFile});
    return QString::fromLatin1(admin({QStringLiteral("device"), QStringLiteral("add"),
                                      QStringLiteral("--email"), email}))
        .trimmed();
}

int ServiceProcess::terminate() {
    m_process.terminate();
    m_process.waitForFinished(15000);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString formField(const QByteArray& html, const QString& name) {
    const QRegularExpression pattern(QStringLiteral("name=\"%1\" value=\"([^\"]*)\"").arg(name));
    return pattern.match(QString::fromUtf8(html)).captured(1);
}

int ServiceProcess::waitForExit(int timeoutMs) {
    QEventLoop loop;
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (m_process.state() != QProcess::NotRunning)
        loop.exec();
    if (m_process.state() != QProcess::NotRunning)
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

HttpResult ServiceProcess::submitBrowserForm(const QString& path, const QString& token,
                                             const QString& email, const QString& password,
                                             const QList<QPair<QByteArray, QByteArray>>& headers) {
    const HttpResult form = request("GET", path + QStringLiteral("?token=") + token, {}, headers);
    return request("POST", path,
                   formBody({{QStringLiteral("token"), token},
                             {QStringLiteral("csrf_token"),
                              formField(form.body, QStringLiteral("csrf_token"))},
                             {QStringLiteral("email"), email},
                             {QStringLiteral("password"), password}}),
                   QList<QPair<QByteArray, QByteArray>>{
                       {"Content-Type", "application/x-www-form-urlencoded"}} +
                       headers);
}

QByteArray formBody(const QList<QPair<QString, QString>>& fields) {
    QUrlQuery query;
    for (const auto& [name, value] : fields)
        query.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    return query.toString(QUrl::FullyEncoded).toLatin1();
}

QString newSignInToken() {
    static const QByteArray alphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString token;
    for (int i = 0; i < 24; ++i)
        token +=
            QLatin1Char(alphabet.at(QRandomGenerator::global()->bounded(int(alphabet.size()))));
    return token;
}
