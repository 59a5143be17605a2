#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

/** The answer to one request made by ServiceProcess. */
struct HttpResult {
    int status = 0;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool transportFailed = false;

    [[nodiscard]] QJsonDocument json() const { return QJsonDocument::fromJson(body); }
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
};

/**
 * The real orvane-service binary, started on a free loopback port with a
 * database in a temporary directory, plus a blocking HTTP client for it.
 */
/** Limits the service runs under (0: inherited). */
struct ResourceLimits {
    /** Largest file it may write; writes beyond fail as on a full disk. */
    quint64 fileSizeBytes = 0;
    quint64 openFiles = 0;
};

class ServiceProcess {
public:
    /** databaseUrl empty: an SQLite file in a temporary directory; binary empty: the one built
     * here. */
    explicit ServiceProcess(QStringList extraArguments = {}, const QString& databaseUrl = {},
                            const QString& binary = {}, ResourceLimits limits = {});
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
    [[nodiscard]] QString databaseUrl() const { return m_databaseUrl; }
    /** A kB figure of /proc/PID/status, such as "VmRSS" or "VmHWM". */
    [[nodiscard]] qint64 statusKiB(const QByteArray& field) const;
    /** Processor time the service has used so far, in clock ticks. */
    [[nodiscard]] qint64 cpuTicks() const;
    /** Everything the service wrote to its standard error (its log) so far. */
    [[nodiscard]] QByteArray log();

    HttpResult request(const QByteArray& method, const QString& path, const QByteArray& body = {},
                       const QList<QPair<QByteArray, QByteArray>>& headers = {});
    HttpResult withKey(const QByteArray& method, const QString& path, const QString& key,
                       const QByteArray& body = {});

    /** Fills and sends the browser's sign-in or sign-up form (path) for a sign-in token. */
    HttpResult submitBrowserForm(const QString& path, const QString& token, const QString& email,
                                 const QString& password,
                                 const QList<QPair<QByteArray, QByteArray>>& headers = {});

    /** Runs an admin subcommand against the same database; returns its standard output. */
    QByteArray admin(const QStringList& arguments, int* exitCode = nullptr);
    /** A user with a device key, made through the admin commands. */
    QString createUserWithKey(const QString& email,
                              const QString& password = QStringLiteral("correct horse 1"));

    /** Starts the service again after it ended, on port (0: any free one); false when it did
     * not come up. */
    bool start(quint16 port);
    /** Sends SIGTERM and waits; the exit status. */
    int terminate();
    /** Sends SIGTERM without waiting. */
    void requestStop() { m_process.terminate(); }
    /** Waits for the process to end while events are processed; the exit status. */
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

/** The service binary under test. */
QString serviceBinary();
/** Reads the value="..." of the input named name out of an HTML form. */
QString formField(const QByteArray& html, const QString& name);
/** An application/x-www-form-urlencoded body. */
QByteArray formBody(const QList<QPair<QString, QString>>& fields);
/** A random sign-in token as the application draws it. */
QString newSignInToken();
