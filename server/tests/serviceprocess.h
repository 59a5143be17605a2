#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebSocket>

#include <memory>

using Headers = QList<QPair<QByteArray, QByteArray>>;

/** The answer to one request made by ServiceProcess. */
struct HttpResult {
    int status = 0;
    QByteArray body;
    Headers headers;

    [[nodiscard]] QJsonDocument json() const { return QJsonDocument::fromJson(body); }
    /** The "data" member of a JSON answer. */
    [[nodiscard]] QJsonValue data() const { return json().object().value(QStringLiteral("data")); }
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
};

/** The real orvane-service on a free loopback port, plus a blocking HTTP client for it. */
class ServiceProcess {
public:
    /** databaseUrl empty: an SQLite file in a temporary directory; binary empty: the one built
     * here; fileSizeLimit: writes past it fail as on a full disk (0: none). */
    explicit ServiceProcess(QStringList extraArguments = {}, const QString& databaseUrl = {},
                            const QString& binary = {}, quint64 fileSizeLimit = 0);
    ~ServiceProcess();

    /** False (with the output in failureMessage) when the service did not come up. */
    [[nodiscard]] bool isRunning() const { return m_port != 0; }
    [[nodiscard]] QString failureMessage() const { return m_failure; }
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] qint64 processId() const { return m_process.processId(); }
    [[nodiscard]] QUrl url(const QString& pathAndQuery) const;
    [[nodiscard]] QUrl socketUrl() const;
    [[nodiscard]] QString databasePath() const {
        return m_dir.filePath(QStringLiteral("db.sqlite"));
    }
    /** Its standard error (the log) so far. */
    [[nodiscard]] QByteArray log();

    HttpResult request(const QByteArray& method, const QString& path, const QByteArray& body = {},
                       const Headers& headers = {});
    HttpResult withKey(const QByteArray& method, const QString& path, const QString& key,
                       const QByteArray& body = {});
    /** Asks for an answer as the application does: a form with a bearer key, no Content-Type. */
    HttpResult generate(const QString& key,
                        const QByteArray& form = "command=Go&text=x&history=%5B%5D");
    /** Every value of every row the query returns, read from the SQLite file past the service. */
    QStringList select(const QString& sql) const;

    /** Fills and sends the browser's sign-in or sign-up form (path) for a sign-in token. */
    HttpResult submitBrowserForm(const QString& path, const QString& token, const QString& email,
                                 const QString& password, const Headers& headers = {});
    HttpResult logIn(const QString& token, const QString& email, const QString& password,
                     const Headers& headers = {}) {
        return submitBrowserForm(QStringLiteral("/users/log_in"), token, email, password, headers);
    }
    HttpResult signUp(const QString& token, const QString& email, const QString& password) {
        return submitBrowserForm(QStringLiteral("/users/register"), token, email, password);
    }

    /** Runs an admin subcommand against the same database; returns its standard output. */
    QByteArray admin(const QStringList& arguments);
    /** A user with a device key, made through the admin commands. */
    QString createUserWithKey(const QString& email,
                              const QString& password = QStringLiteral("correct horse 1"));

    /** Starts the service again after it ended, on port (0: any free one); false when it did
     * not come up. */
    bool start(quint16 port);
    /** Sends SIGTERM and waits; the exit status. */
    int terminate();
    void requestStop() { m_process.terminate(); }
    /** Waits for the exit while events are processed; the exit status. */
    int waitForExit(int timeoutMs);

    QNetworkAccessManager& network() { return m_network; }

private:
    QTemporaryDir m_dir;
    QString m_databaseUrl;
    QStringList m_extraArguments;
    QProcess m_process;
    QByteArray m_stderr;
    QNetworkAccessManager m_network;
    quint16 m_port = 0;
    QString m_failure;
};

inline const Headers FormHeaders = {{"Content-Type", "application/x-www-form-urlencoded"}};

/** A sign-in channel client that collects every message the service sends it. */
class ChannelClient {
public:
    explicit ChannelClient(
        const QUrl& url, const QSslConfiguration& tls = QSslConfiguration::defaultConfiguration());
    void sendBinary(const QByteArray& data) { m_socket.sendBinaryMessage(data); }
    void sendText(const QByteArray& data) { m_socket.sendTextMessage(QString::fromUtf8(data)); }
    /** The next message, or an empty one when none arrives in time. */
    QJsonObject next(int timeoutMs = 10000);
    /** The payload of the next message with this event (others skipped), or empty. */
    QJsonObject payloadOf(const QString& event);
    bool hasMoreWithin(int ms) { return m_read < m_spy.size() || m_spy.wait(ms); }

private:
    QWebSocket m_socket;
    QSignalSpy m_spy;
    qsizetype m_read = 0;
};

/** A channel message without a join reference, compact. */
QByteArray channelFrame(const QString& topic, const QString& event = QStringLiteral("phx_join"));
/** A loopback port nothing listens on. */
quint16 unusedPort();
/** The value="..." of the input named name in an HTML form. */
QString formField(const QByteArray& html, const QString& name);
QByteArray formBody(const QList<QPair<QString, QString>>& fields);
/** A random sign-in token of the application's shape. */
QString newSignInToken();
