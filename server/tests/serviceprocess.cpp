#include "serviceprocess.h"

#include <QFile>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>
#include <QUuid>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

QByteArray HttpResult::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

ServiceProcess::ServiceProcess(QStringList extraArguments, const QString& databaseUrl,
                               const QString& binary, quint64 fileSizeLimit)
    : m_databaseUrl(databaseUrl.isEmpty() ? u"sqlite:"_s + databasePath() : databaseUrl)
    , m_extraArguments(std::move(extraArguments)) {
    m_process.setProgram(binary.isEmpty() ? QStringLiteral(ORVANE_SERVICE_BINARY) : binary);
    m_process.setChildProcessModifier([fileSizeLimit] {
        // Ignored, the signal leaves the write failing with EFBIG instead of killing.
        ::signal(SIGXFSZ, SIG_IGN);
        if (fileSizeLimit) {
            const rlimit size{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &size);
        }
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"ORVANE_LLM_URL"_s);
    environment.remove(u"ORVANE_LLM_MODEL"_s);
    // A test names its model servers: whatever runs on this machine's usual ports stays out.
    environment.insert(u"ORVANE_LLM_CANDIDATES"_s, u"127.0.0.1:%1"_s.arg(unusedPort()));
    m_process.setProcessEnvironment(environment);
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_stderr += m_process.readAllStandardError(); });
    start(0);
}

bool ServiceProcess::start(quint16 port) {
    m_port = 0;
    m_failure.clear();
    m_process.setArguments(
        QStringList{u"--listen"_s, u"127.0.0.1:%1"_s.arg(port), u"--database"_s, m_databaseUrl} +
        m_extraArguments);
    m_process.start();
    QByteArray output;
    // Generous: a loaded machine can take seconds to start a process and open a database.
    while (m_process.waitForReadyRead(30000)) {
        output += m_process.readAllStandardOutput();
        const QRegularExpressionMatch match =
            QRegularExpression(u"listening on 127\\.0\\.0\\.1:(\\d+)"_s)
                .match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
            return true;
        }
        if (m_process.state() != QProcess::Running)
            break;
    }
    m_stderr += m_process.readAllStandardError();
    m_failure = QString::fromUtf8(output + m_stderr);
    if (m_process.state() == QProcess::Running)
        m_failure += u"(no \"listening on\" line within 30 s)"_s;
    return false;
}

ServiceProcess::~ServiceProcess() {
    if (m_process.state() == QProcess::Running) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QUrl ServiceProcess::url(const QString& pathAndQuery) const {
    return QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_port).arg(pathAndQuery));
}

QUrl ServiceProcess::socketUrl() const {
    return QUrl(u"ws://127.0.0.1:%1/auth_socket/0/auth"_s.arg(m_port));
}

QByteArray ServiceProcess::log() {
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

HttpResult ServiceProcess::request(const QByteArray& method, const QString& path,
                                   const QByteArray& body, const Headers& headers) {
    QNetworkRequest request(url(path));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
    static_cast<void>(QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000));
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return result;
}

HttpResult ServiceProcess::withKey(const QByteArray& method, const QString& path,
                                   const QString& key, const QByteArray& body) {
    return request(
        method, path, body,
        {{"Authorization", "Bearer " + key.toLatin1()}, {"Content-Type", "application/json"}});
}

HttpResult ServiceProcess::generate(const QString& key, const QByteArray& form) {
    return request("POST", u"/api/0/texts"_s, form,
                   {{"Authorization", "Bearer " + key.toLatin1()}});
}

QStringList ServiceProcess::select(const QString& sql) const {
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"x"_s);
        db.setDatabaseName(databasePath());
        QSqlQuery query(db);
        if (db.open() && query.exec(sql)) {
            while (query.next()) {
                for (int column = 0; column < query.record().count(); ++column)
                    values.append(query.value(column).toString());
            }
        }
    }
    QSqlDatabase::removeDatabase(u"x"_s);
    return values;
}

QByteArray ServiceProcess::admin(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ORVANE_SERVICE_BINARY),
                  arguments + QStringList{u"--database"_s, m_databaseUrl});
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

QString ServiceProcess::createUserWithKey(const QString& email, const QString& password) {
    const QString passwordFile = m_dir.filePath(u"password"_s);
    QFile file(passwordFile);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(password.toUtf8() + '\n');
    file.close();
    admin({u"user"_s, u"add"_s, u"--email"_s, email, u"--password-file"_s, passwordFile});
    return QString::fromLatin1(admin({u"device"_s, u"add"_s, u"--email"_s, email})).trimmed();
}

int ServiceProcess::terminate() {
    m_process.terminate();
    m_process.waitForFinished(15000);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString formField(const QByteArray& html, const QString& name) {
    const QRegularExpression pattern(u"name=\"%1\" value=\"([^\"]*)\""_s.arg(name));
    return pattern.match(QString::fromUtf8(html)).captured(1);
}

int ServiceProcess::waitForExit(int timeoutMs) {
    if (!QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

HttpResult ServiceProcess::submitBrowserForm(const QString& path, const QString& token,
                                             const QString& email, const QString& password,
                                             const Headers& headers) {
    const HttpResult form = request("GET", path + u"?token="_s + token, {}, headers);
    return request("POST", path,
                   formBody({{u"token"_s, token},
                             {u"csrf_token"_s, formField(form.body, u"csrf_token"_s)},
                             {u"email"_s, email},
                             {u"password"_s, password}}),
                   FormHeaders + headers);
}

QByteArray formBody(const QList<QPair<QString, QString>>& fields) {
    QUrlQuery query;
    for (const auto& [name, value] : fields)
        query.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    return query.toString(QUrl::FullyEncoded).toLatin1();
}

QString newSignInToken() {
    return QUuid::createUuid().toString(QUuid::Id128).left(24);
}

quint16 unusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

ChannelClient::ChannelClient(const QUrl& url, const QSslConfiguration& tls)
    : m_spy(&m_socket, &QWebSocket::textMessageReceived) {
    QSignalSpy connected(&m_socket, &QWebSocket::connected);
    m_socket.setSslConfiguration(tls);
    m_socket.open(url);
    connected.wait(10000);
}

QJsonObject ChannelClient::next(int timeoutMs) {
    if (m_read >= m_spy.size() && !m_spy.wait(timeoutMs))
        return {};
    return QJsonDocument::fromJson(m_spy.at(m_read++).at(0).toString().toUtf8()).object();
}

QJsonObject ChannelClient::payloadOf(const QString& event) {
    for (QJsonObject message = next(); !message.isEmpty(); message = next()) {
        if (message.value(u"event"_s).toString() == event)
            return message.value(u"payload"_s).toObject();
    }
    return {};
}

QByteArray channelFrame(const QString& topic, const QString& event) {
    return QJsonDocument(QJsonObject{{u"topic"_s, topic},
                                     {u"event"_s, event},
                                     {u"payload"_s, QJsonObject()},
                                     {u"ref"_s, 0}})
        .toJson(QJsonDocument::Compact);
}
