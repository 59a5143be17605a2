#include "modeldiscovery.h"

#include "serverconfig.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>

#include <memory>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcDiscovery, "orvane.discovery")

namespace {

struct UsualPort {
    int port;
    const char* servers;
};

constexpr UsualPort UsualPorts[] = {
    {11434, "Ollama"},
    {8080, "llama.cpp or LocalAI"},
    {1234, "LM Studio"},
    {8000, "vLLM"},
};

bool isLoopback(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QUrl modelsUrl(QUrl baseUrl) {
    QString path = baseUrl.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    baseUrl.setPath(path + QLatin1String("/models"));
    return baseUrl;
}

// Ollama lists "llama3.2:latest" for what its users call "llama3.2".
bool sameModel(const QString& listed, const QString& wanted) {
    return listed == wanted || listed == wanted + QLatin1String(":latest");
}

CandidateReport readReport(const QUrl& baseUrl, QNetworkReply* reply) {
    CandidateReport report{baseUrl, false, {}, {}};
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        report.problem =
            reply->error() == QNetworkReply::ConnectionRefusedError
                ? QStringLiteral("nothing listens")
            : reply->error() == QNetworkReply::OperationCanceledError
                ? QStringLiteral("no answer within %1 ms").arg(ModelDiscovery::ProbeTimeoutMs)
                : reply->errorString();
        return report;
    }
    if (status == 401 || status == 403) {
        report.problem =
            QStringLiteral("HTTP %1, it wants an API key (ORVANE_LLM_API_KEY)").arg(status);
        return report;
    }
    const QJsonValue data =
        QJsonDocument::fromJson(reply->readAll()).object().value(QLatin1String("data"));
    if (status != 200 || !data.isArray()) {
        report.problem = QStringLiteral("HTTP %1, not an OpenAI-compatible model list").arg(status);
        return report;
    }
    report.answered = true;
    for (const QJsonValue& model : data.toArray()) {
        const QString id = model.toObject().value(QLatin1String("id")).toString();
        if (!id.isEmpty())
            report.models.append(id);
    }
    if (ModelDiscovery::pickModel(report.models, {}).isEmpty())
        report.problem = report.models.isEmpty() ? QStringLiteral("no models loaded")
                                                 : QStringLiteral("no chat model, only embedding "
                                                                  "or speech models");
    return report;
}

} // namespace

QString publicUrl(const QUrl& url) {
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

QString usualServers(const QUrl& url) {
    if (!isLoopback(url.host()))
        return {};
    for (const UsualPort& usual : UsualPorts) {
        if (url.port() == usual.port)
            return QLatin1String(usual.servers);
    }
    return {};
}

ModelDiscovery::ModelDiscovery(QList<QUrl> candidates, QString preferredModel, QString apiKey,
                               QObject* parent)
    : QObject(parent)
    , m_candidates(std::move(candidates))
    , m_preferredModel(std::move(preferredModel))
    , m_apiKey(std::move(apiKey)) {
    // Only this machine is asked: no proxy in between, and redirects are not followed.
    m_network.setProxy(QNetworkProxy::NoProxy);
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

QList<QUrl> ModelDiscovery::defaultCandidates() {
    QList<QUrl> candidates;
    for (const UsualPort& usual : UsualPorts)
        candidates.append(QUrl(QStringLiteral("http://127.0.0.1:%1/v1").arg(usual.port)));
    return candidates;
}

std::optional<QList<QUrl>> ModelDiscovery::parseCandidates(const QString& text, QString* error) {
    QList<QUrl> candidates;
    for (QString entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        entry = entry.trimmed();
        if (entry.isEmpty())
            continue;
        if (!entry.contains(QLatin1String("://")))
            entry = QLatin1String("http://") + entry;
        QUrl url(entry, QUrl::StrictMode);
        if (url.isValid() && url.path().isEmpty())
            url.setPath(QStringLiteral("/v1"));
        if (!url.isValid() || url.host().isEmpty() || url.port() <= 0 ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
            *error =
                QStringLiteral("--llm-candidates expects comma-separated http://HOST:PORT/PATH "
                               "URLs, got \"%1\"")
                    .arg(entry);
            return std::nullopt;
        }
        if (!isLoopback(url.host())) {
            *error = QStringLiteral("--llm-candidates searches this machine only, and \"%1\" is "
                                    "not a loopback address; name another machine's server "
                                    "with --llm-url")
                         .arg(url.host());
            return std::nullopt;
        }
        candidates.append(url);
    }
    if (candidates.isEmpty()) {
        *error = QStringLiteral("--llm-candidates names no server");
        return std::nullopt;
    }
    return candidates;
}

QString ModelDiscovery::pickModel(const QStringList& models, const QString& preferred) {
    if (!preferred.isEmpty()) {
        for (const QString& model : models) {
            if (sameModel(model, preferred))
                return model;
        }
    }
    static const QRegularExpression notForChat(QStringLiteral("embed|rerank|whisper|tts"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression forChat(QStringLiteral("instruct|chat|-it\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString fallback;
    for (const QString& model : models) {
        if (model.contains(notForChat))
            continue;
        if (model.contains(forChat))
            return model;
        if (fallback.isEmpty())
            fallback = model;
    }
    return fallback;
}

std::optional<ModelChoice> ModelDiscovery::choose(const QList<CandidateReport>& reports,
                                                  const QString& preferred) {
    for (const CandidateReport& report : reports) {
        for (const QString& model : report.models) {
            if (!preferred.isEmpty() && sameModel(model, preferred))
                return ModelChoice{report.baseUrl, model};
        }
    }
    for (const CandidateReport& report : reports) {
        const QString model = pickModel(report.models, {});
        if (report.answered && !model.isEmpty())
            return ModelChoice{report.baseUrl, model};
    }
    return std::nullopt;
}

void ModelDiscovery::probe(std::function<void(const QList<CandidateReport>&)> done) {
    auto reports = std::make_shared<QList<CandidateReport>>(m_candidates.size());
    auto pending = std::make_shared<qsizetype>(m_candidates.size());
    for (qsizetype i = 0; i < m_candidates.size(); ++i) {
        const QUrl baseUrl = m_candidates.at(i);
        QNetworkRequest request(modelsUrl(baseUrl));
        request.setTransferTimeout(ProbeTimeoutMs);
        if (!m_apiKey.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + m_apiKey.toUtf8());
        QNetworkReply* reply = m_network.get(request);
        connect(reply, &QNetworkReply::finished, this, [=] {
            (*reports)[i] = readReport(baseUrl, reply);
            reply->deleteLater();
            if (--*pending == 0)
                done(*reports);
        });
    }
    if (m_candidates.isEmpty())
        done({});
}

bool ModelDiscovery::probeIsDue() const {
    return !m_lastProbe.isValid() || m_lastProbe.hasExpired(RecheckIntervalMs);
}

void ModelDiscovery::withChoice(ChoiceHandler handler) {
    if (m_current)
        return handler(m_current);
    if (!m_probing && !probeIsDue())
        return handler(std::nullopt);
    m_waiting.append(std::move(handler));
    startProbe();
}

void ModelDiscovery::recheck(const ModelChoice& failed, ChoiceHandler handler) {
    // Another generation may have found a replacement already.
    if (m_current != failed)
        return withChoice(std::move(handler));
    if (!m_probing && !probeIsDue())
        return handler(m_current);
    m_waiting.append(std::move(handler));
    startProbe();
}

void ModelDiscovery::startProbe() {
    if (m_probing)
        return;
    m_probing = true;
    m_lastProbe.start();
    probe([this](const QList<CandidateReport>& reports) {
        m_probing = false;
        settle(choose(reports, m_preferredModel));
        for (const ChoiceHandler& handler : std::exchange(m_waiting, {}))
            handler(m_current);
    });
}

void ModelDiscovery::settle(const std::optional<ModelChoice>& choice) {
    if (choice == m_current && (choice || m_reportedNone))
        return;
    m_current = choice;
    m_reportedNone = !choice;
    if (!choice) {
        QStringList places;
        for (const QUrl& candidate : std::as_const(m_candidates))
            places.append(publicUrl(candidate));
        qCWarning(lcDiscovery).noquote()
            << "no model server found at" << places.join(QLatin1String(", "))
            << "- start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL"
               " (\"orvane-service models\" shows what each place answers)";
        return;
    }
    const QString servers = usualServers(choice->baseUrl);
    const bool asked = m_preferredModel.isEmpty() || sameModel(choice->model, m_preferredModel);
    qCInfo(lcDiscovery).noquote()
        << QStringLiteral("using model \"%1\" at %2%3%4; choose another with --llm-model or "
                          "ORVANE_LLM_MODEL, or name a server with --llm-url")
               .arg(choice->model, publicUrl(choice->baseUrl),
                    servers.isEmpty() ? QString() : QLatin1String(" (") + servers + u')',
                    asked ? QString()
                          : QStringLiteral(" (\"%1\" is offered by no server found)")
                                .arg(m_preferredModel));
}

int printModelServers(const ServerConfig& config, QTextStream& out) {
    // With --llm-url the configured server is the only one asked.
    const QList<QUrl> candidates =
        config.llmUrl.isEmpty() ? config.llmCandidates : QList<QUrl>{QUrl(config.llmUrl)};
    ModelDiscovery discovery(candidates, config.llmModel, config.llmApiKey);
    QList<CandidateReport> reports;
    QEventLoop loop;
    discovery.probe([&](const QList<CandidateReport>& found) {
        reports = found;
        loop.quit();
    });
    if (!candidates.isEmpty())
        loop.exec();
    for (const CandidateReport& report : std::as_const(reports)) {
        const QString servers = usualServers(report.baseUrl);
        out << publicUrl(report.baseUrl)
            << (servers.isEmpty() ? QString() : QLatin1String(" (") + servers + u')') << ": ";
        if (report.answered)
            out << report.models.size() << (report.models.size() == 1 ? " model" : " models")
                << (report.problem.isEmpty() ? QString()
                                             : QLatin1String(" (") + report.problem + u')');
        else
            out << report.problem;
        out << "\n";
        for (const QString& model : report.models)
            out << "    " << model << "\n";
    }
    std::optional<ModelChoice> choice = ModelDiscovery::choose(reports, config.llmModel);
    if (!config.llmUrl.isEmpty() && choice)
        choice->model = config.llmModel;
    if (!choice) {
        out << "No model server found: start Ollama or another OpenAI-compatible model server, "
               "or set ORVANE_LLM_URL.\n";
        return 1;
    }
    out << "Answers use \"" << choice->model << "\" at " << publicUrl(choice->baseUrl) << ".";
    if (!config.llmModel.isEmpty() && !sameModel(choice->model, config.llmModel))
        out << " No server found offers \"" << config.llmModel << "\".";
    out << "\n";
    return 0;
}

} // namespace OrvaneServer
