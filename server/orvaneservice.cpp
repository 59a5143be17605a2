#include "orvaneservice.h"

#include "generationroute.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <sys/resource.h>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcService, "orvane.service")

namespace {

constexpr int ShutdownGraceMs = 10 * 1000;

} // namespace

OrvaneService::OrvaneService(const ServerConfig& config, Database database, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_database(std::move(database))
    , m_accounts(m_database)
    , m_presets(m_database)
    , m_channel(qint64(config.signInLifetimeSeconds) * 1000)
    , m_browserSignIn(m_accounts, m_channel)
    , m_api(m_accounts, m_presets)
    , m_pages(m_accounts, m_database)
    , m_generation(std::make_unique<GenerationRoute>(config, m_accounts, m_presets)) {
    m_server.setCommonHeaders({{"X-Content-Type-Options", "nosniff"},
                               {"Referrer-Policy", "no-referrer"},
                               {"X-Frame-Options", "DENY"}});
    m_server.route("GET", QStringLiteral("/healthz"), [this](const HttpRequest&) {
        if (m_stopping)
            return HttpResponse::text(503, QStringLiteral("shutting down"));
        if (!m_database.isReachable())
            return HttpResponse::text(503, QStringLiteral("database unreachable"));
        if (!m_database.isWritable())
            return HttpResponse::text(503, QStringLiteral("database not writable"));
        return HttpResponse::text(200, QStringLiteral("ok"));
    });
    m_browserSignIn.registerRoutes(m_server);
    m_api.registerRoutes(m_server);
    m_pages.registerRoutes(m_server);
    m_generation->registerRoutes(m_server);
    m_server.acceptWebSocketsAt(QLatin1String(AuthChannel::SocketPath));
    m_server.acceptWebSocketsAt(QLatin1String(AuthChannel::PhoenixSocketPath));
    relaySignInsBetweenInstances();
    connect(&m_server, &HttpServer::webSocketConnected, &m_channel, &AuthChannel::accept);
}

OrvaneService::~OrvaneService() = default;

void OrvaneService::relaySignInsBetweenInstances() {
    // Instances sharing one PostgreSQL database pass deliveries around with NOTIFY, so
    // that the browser's sign-in reaches the socket whichever instance holds it.
    static const QString channel = QStringLiteral("orvane_sign_in");
    const bool listening = m_database.listen(channel, this, [this](const QString& payload) {
        const QJsonObject delivery = QJsonDocument::fromJson(payload.toUtf8()).object();
        const QString topic = delivery.value(QLatin1String("topic")).toString();
        const QString message = delivery.value(QLatin1String("message")).toString();
        if (!topic.isEmpty() && !message.isEmpty())
            m_channel.deliverLocally(topic, message.toUtf8());
    });
    if (!listening)
        return;
    // And count failed sign-ins together, or each instance would allow its own share.
    static const QString limits = QStringLiteral("orvane_sign_in_limits");
    if (m_database.listen(limits, this,
                          [this](const QString& payload) { m_browserSignIn.applyShared(payload); }))
        m_browserSignIn.setShare(
            [this](const QString& payload) { m_database.notify(limits, payload); });
    m_channel.setRelay([this](const QString& topic, const QByteArray& message) {
        const QJsonObject delivery{{QStringLiteral("topic"), topic},
                                   {QStringLiteral("message"), QString::fromUtf8(message)}};
        return m_database.notify(
            channel, QString::fromUtf8(QJsonDocument(delivery).toJson(QJsonDocument::Compact)));
    });
}

bool OrvaneService::start(QString* error) {
    if (!m_config.tlsCertificatePath.isEmpty()) {
        QFile certificateFile(m_config.tlsCertificatePath);
        QFile keyFile(m_config.tlsKeyPath);
        if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read the TLS certificate or key");
            return false;
        }
        const QSslCertificate certificate(&certificateFile, QSsl::Pem);
        QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) {
            keyFile.seek(0);
            key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
        }
        if (certificate.isNull() || key.isNull()) {
            *error = QStringLiteral("the TLS certificate or key is not valid PEM");
            return false;
        }
        m_server.setTls(certificate, key);
        // Browsers that have seen the service over TLS do not fall back to plain HTTP.
        m_server.addCommonHeader("Strict-Transport-Security", "max-age=31536000");
    }
    HttpLimits limits;
    limits.requestTimeoutMs = m_config.requestTimeoutSeconds * 1000;
    limits.keepAliveTimeoutMs = m_config.keepAliveTimeoutSeconds * 1000;
    limits.maxConnections = m_config.maxConnections;
    // Every connection may need a second descriptor (its model request); the database,
    // the log and the listener need some too.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        limits.maxConnections = static_cast<int>(std::clamp<rlim_t>(
            (files.rlim_cur - 32) / 2, 1, static_cast<rlim_t>(m_config.maxConnections)));
    m_server.setLimits(limits);
    m_server.setTrustedProxies(m_config.trustedProxies);
    m_port = m_server.listen(m_config.listenAddress, m_config.listenPort);
    if (m_port == 0) {
        *error = QStringLiteral("cannot listen on %1").arg(listeningAddress());
        return false;
    }
    return true;
}

QString OrvaneService::listeningAddress() const {
    const QString host =
        m_config.listenAddress.protocol() == QAbstractSocket::IPv6Protocol
            ? QLatin1Char('[') + m_config.listenAddress.toString() + QLatin1Char(']')
            : m_config.listenAddress.toString();
    return host + QLatin1Char(':') + QString::number(m_port ? m_port : m_config.listenPort);
}

void OrvaneService::shutDown() {
    if (m_stopping)
        return;
    m_stopping = true;
    m_server.stopListening();
    qCInfo(lcService) << "shutting down," << m_server.openStreams() << "answers still running";
    if (m_server.openStreams() == 0) {
        QTimer::singleShot(0, this, &OrvaneService::stopped);
        return;
    }
    connect(&m_server, &HttpServer::openStreamsChanged, this, [this](int count) {
        if (count == 0)
            Q_EMIT stopped();
    });
    // Answers that outlast the grace period are cut; the clients see a failed transfer.
    QTimer::singleShot(ShutdownGraceMs, this, &OrvaneService::stopped);
}

} // namespace OrvaneServer
