#include "httpstreamclient.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace OrvaneServer {

namespace {

constexpr qsizetype MaxHeaderBytes = 64 * 1024;
constexpr qint64 ReadBufferBytes = 64 * 1024;

} // namespace

HttpStreamClient::HttpStreamClient(QObject* parent)
    : QObject(parent)
    , m_idleTimer(this) {
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, &HttpStreamClient::onIdleTimer);
}

HttpStreamClient::~HttpStreamClient() {
    cancel();
}

void HttpStreamClient::setIdleTimeout(int milliseconds) {
    m_idleTimeoutMs = milliseconds;
}

void HttpStreamClient::post(const QUrl& url, const QList<QPair<QByteArray, QByteArray>>& headers,
                            const QByteArray& body) {
    const bool tls = url.scheme() == QLatin1String("https");
    const int port = url.port(tls ? 443 : 80);
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const bool defaultPort = port == (tls ? 443 : 80);
    m_request = "POST " + url.path(QUrl::FullyEncoded).toLatin1() +
                (url.hasQuery() ? '?' + url.query(QUrl::FullyEncoded).toLatin1() : QByteArray()) +
                " HTTP/1.1\r\nHost: " + host +
                (defaultPort ? QByteArray() : ':' + QByteArray::number(port)) +
                "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
                "\r\n";
    for (const auto& [name, value] : headers)
        m_request += name + ": " + value + "\r\n";
    m_request += "\r\n" + body;

    if (tls) {
        auto* socket = new QSslSocket(this);
        m_socket = socket;
        connect(socket, &QSslSocket::encrypted, this, [this] { m_socket->write(m_request); });
        socket->connectToHostEncrypted(url.host(), static_cast<quint16>(port));
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
        m_socket->connectToHost(url.host(), static_cast<quint16>(port));
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Bounded reads: a paused answer waits in the kernel, not in this process.
    m_socket->setReadBufferSize(ReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpStreamClient::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpStreamClient::onClosed);
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError)
                    return onClosed();
                fail(m_socket ? m_socket->errorString() : QStringLiteral("connection error"));
            });
    m_lastActivity.start();
    if (m_idleTimeoutMs > 0)
        m_idleTimer.start(m_idleTimeoutMs);
}

void HttpStreamClient::setPaused(bool paused) {
    if (m_paused == paused)
        return;
    m_paused = paused;
    m_lastActivity.start();
    if (!paused)
        QMetaObject::invokeMethod(this, &HttpStreamClient::onReadyRead, Qt::QueuedConnection);
}

void HttpStreamClient::onIdleTimer() {
    if (m_paused) {
        m_idleTimer.start(m_idleTimeoutMs);
        return;
    }
    // Re-arming a timer for every chunk is costly with many streams open; instead the
    // timer checks on expiry whether anything arrived in the meantime.
    const qint64 quiet = m_lastActivity.elapsed();
    if (quiet < m_idleTimeoutMs) {
        m_idleTimer.start(m_idleTimeoutMs - static_cast<int>(quiet));
        return;
    }
    fail(QStringLiteral("the model server sent nothing for too long"));
}

void HttpStreamClient::cancel() {
    m_ended = true;
    m_idleTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void HttpStreamClient::onReadyRead() {
    if (m_ended || !m_socket || m_paused)
        return;
    m_lastActivity.start();
    m_buffer += m_socket->read(ReadBufferBytes);
    if (m_state == State::Connecting)
        m_state = State::Headers;
    if (m_state == State::Headers && !parseHeaders())
        return;
    parseBody();
}

bool HttpStreamClient::parseHeaders() {
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_buffer.size() > MaxHeaderBytes)
            fail(QStringLiteral("the model server sent oversized headers"));
        return false;
    }
    const QList<QByteArray> lines = m_buffer.left(end).split('\n');
    m_buffer.remove(0, end + 4);
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    m_status = statusLine.value(1).toInt();
    if (!statusLine.first().startsWith("HTTP/1.") || m_status < 100) {
        fail(QStringLiteral("the model server does not speak HTTP/1.1"));
        return false;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower().contains("chunked"))
            m_chunked = true;
        else if (name == "content-length")
            m_remaining = value.toLongLong();
    }
    m_state = m_chunked ? State::ChunkSize : State::Body;
    Q_EMIT responseStarted(m_status);
    // An empty body is complete now, not when the server gets round to closing.
    if (!m_ended && m_state == State::Body && m_remaining == 0)
        complete();
    return !m_ended;
}

void HttpStreamClient::parseBody() {
    while (!m_ended && !m_buffer.isEmpty()) {
        switch (m_state) {
        case State::Body: {
            QByteArray data = m_remaining >= 0 ? m_buffer.left(m_remaining) : m_buffer;
            m_buffer.remove(0, data.size());
            if (m_remaining >= 0)
                m_remaining -= data.size();
            Q_EMIT bodyData(data);
            if (m_remaining == 0)
                complete();
            return;
        }
        case State::ChunkSize: {
            const qsizetype lineEnd = m_buffer.indexOf("\r\n");
            if (lineEnd < 0)
                return;
            bool ok = false;
            m_remaining = m_buffer.left(lineEnd).split(';').first().trimmed().toLongLong(&ok, 16);
            m_buffer.remove(0, lineEnd + 2);
            if (!ok || m_remaining < 0) {
                fail(QStringLiteral("the model server sent a malformed chunk"));
                return;
            }
            m_state = m_remaining == 0 ? State::Trailers : State::ChunkData;
            break;
        }
        case State::ChunkData: {
            const QByteArray data = m_buffer.left(m_remaining);
            m_buffer.remove(0, data.size());
            m_remaining -= data.size();
            if (m_remaining == 0)
                m_state = State::ChunkEnd;
            Q_EMIT bodyData(data);
            break;
        }
        case State::ChunkEnd:
            if (m_buffer.size() < 2)
                return;
            m_buffer.remove(0, 2);
            m_state = State::ChunkSize;
            break;
        case State::Trailers:
            // Trailers are not used by model servers; the body is complete.
            complete();
            return;
        default:
            return;
        }
    }
    if (m_state == State::Trailers)
        complete();
}

void HttpStreamClient::onClosed() {
    if (m_ended)
        return;
    if (m_socket)
        m_buffer += m_socket->readAll();
    if (m_state == State::Headers || m_state == State::Connecting)
        parseHeaders();
    parseBody();
    if (m_ended)
        return;
    // Without a length the body ends with the connection; otherwise closing is an early end.
    if (m_state == State::Body && m_remaining < 0)
        complete();
    else
        fail(QStringLiteral("the model server closed the connection early"));
}

void HttpStreamClient::fail(const QString& reason) {
    if (m_ended)
        return;
    const bool started = m_status != 0;
    cancel();
    Q_EMIT failed(reason, started);
}

void HttpStreamClient::complete() {
    if (m_ended)
        return;
    m_state = State::Done;
    cancel();
    Q_EMIT finished();
}

} // namespace OrvaneServer
