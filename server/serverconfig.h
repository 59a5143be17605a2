#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace OrvaneServer {

/** Everything the service is configured with, from options and environment variables. */
struct ServerConfig {
    QHostAddress listenAddress = QHostAddress::LocalHost;
    quint16 listenPort = 8787;
    QString databaseUrl;
    /** Empty: find a model server among llmCandidates. */
    QString llmUrl;
    QList<QUrl> llmCandidates;
    QString llmModel;
    QString llmApiKey;
    int maxInputChars = 32000;
    int llmIdleTimeoutSeconds = 60;
    /** Overrides every prompt's temperature; llmOmitTemperature sends none at all. */
    std::optional<double> llmTemperature;
    bool llmOmitTemperature = false;
    /** Whether answers may begin with reasoning closed by a lone </think>. */
    bool llmLeadingReasoning = false;
    int maxHistoryEntries = 50;
    int maxGenerationsPerDevice = 4;
    /** How long a sign-in token works after its first join. */
    int signInLifetimeSeconds = 15 * 60;
    int maxConnections = 2000;
    int requestTimeoutSeconds = 30;
    int keepAliveTimeoutSeconds = 60;
    /** Reverse proxies whose X-Forwarded-For names the client. */
    QList<QHostAddress> trustedProxies;
    QString tlsCertificatePath;
    QString tlsKeyPath;

    /** Admin subcommand words ("user add", "device add", "user list"), empty to serve. */
    QStringList command;
    QString email;
    QString passwordFile;
};

struct ConfigResult {
    std::optional<ServerConfig> config;
    /** Set with no config: print it and exit with exitCode. */
    QString message;
    int exitCode = 0;
};

/** Whether a model of this name starts its answers inside a reasoning block (DeepSeek R1, QwQ). */
[[nodiscard]] bool opensReasoningInPrompt(const QString& modelName);

/** Reads the options after the program name; each option falls back to its variable. */
ConfigResult parseConfig(const QStringList& arguments, const QHash<QString, QString>& environment);

[[nodiscard]] QString defaultDatabaseUrl();
[[nodiscard]] QString usageText();

} // namespace OrvaneServer
