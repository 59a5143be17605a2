#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QUrl>

#include <functional>
#include <optional>

namespace OrvaneServer {

struct ServerConfig;

/** What one candidate said when asked for its models. */
struct CandidateReport {
    QUrl baseUrl;
    /** It answered with an OpenAI-compatible model list. */
    bool answered = false;
    QStringList models;
    /** Why it cannot be used, empty when it can. */
    QString problem;
};

/** The server and model generations go to. */
struct ModelChoice {
    QUrl baseUrl;
    QString model;

    bool operator==(const ModelChoice&) const = default;
};

/** The base URL as it may be shown or logged: no user name, password, query or fragment. */
[[nodiscard]] QString publicUrl(const QUrl& url);
/** The servers that usually listen at url ("Ollama"), empty for others. */
[[nodiscard]] QString usualServers(const QUrl& url);

/**
 * Finds a model server the user already runs on this machine: asks each
 * candidate for GET {base}/models and uses the first one that lists a
 * chat model. Asks again when nothing is known or the server in use fails,
 * but never more often than every RecheckIntervalMs.
 */
class ModelDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr int ProbeTimeoutMs = 2000;
    static constexpr int RecheckIntervalMs = 3000;

    using ChoiceHandler = std::function<void(const std::optional<ModelChoice>&)>;

    ModelDiscovery(QList<QUrl> candidates, QString preferredModel, QString apiKey,
                   QObject* parent = nullptr);

    /** Calls handler with the server to use: the known one, else after probing if that is due. */
    void withChoice(ChoiceHandler handler);
    /** failed did not work: calls handler with what a new probe finds, if one is due. */
    void recheck(const ModelChoice& failed, ChoiceHandler handler);
    [[nodiscard]] std::optional<ModelChoice> current() const { return m_current; }

    /** Asks every candidate once, all at the same time; reports in candidate order. */
    void probe(std::function<void(const QList<CandidateReport>&)> done);

    /** Ollama, llama.cpp, LM Studio, vLLM and LocalAI on their usual ports. */
    [[nodiscard]] static QList<QUrl> defaultCandidates();
    /** Comma-separated base URLs ("127.0.0.1:9000" means http://127.0.0.1:9000/v1), all on
     * loopback; empty with a reason in error otherwise. */
    static std::optional<QList<QUrl>> parseCandidates(const QString& text, QString* error);
    /** The model to use from one server's list, preferred when listed; empty if none fits. */
    [[nodiscard]] static QString pickModel(const QStringList& models, const QString& preferred);
    /** The first server listing preferred, else the first with any chat model. */
    [[nodiscard]] static std::optional<ModelChoice> choose(const QList<CandidateReport>& reports,
                                                           const QString& preferred);

private:
    void startProbe();
    void settle(const std::optional<ModelChoice>& choice);
    [[nodiscard]] bool probeIsDue() const;

    QList<QUrl> m_candidates;
    QString m_preferredModel;
    QString m_apiKey;
    QNetworkAccessManager m_network;
    std::optional<ModelChoice> m_current;
    QList<ChoiceHandler> m_waiting;
    QElapsedTimer m_lastProbe;
    bool m_probing = false;
    bool m_reportedNone = false;
};

/** "orvane-service models": what each candidate answers and what would be used; exit status. */
int printModelServers(const ServerConfig& config, QTextStream& out);

} // namespace OrvaneServer
