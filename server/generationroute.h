#pragma once

#include "modelbackend.h"
#include "serverconfig.h"

#include <QHash>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace OrvaneServer {

class AccountStore;
class HttpServer;
class ModelDiscovery;
class OpenAiBackend;
struct ModelChoice;
class PresetRepository;
class StreamingResponse;
struct HttpRequest;

/** POST /api/0/texts: turns the application's form into a model request and streams the answer. */
class GenerationRoute {
public:
    GenerationRoute(const ServerConfig& config, AccountStore& accounts, PresetRepository& presets);
    ~GenerationRoute();

    void registerRoutes(HttpServer& server);

private:
    void generate(const HttpRequest& request, std::unique_ptr<StreamingResponse> response);
    /**
     * Generates on a discovered server; mayRetry: a refused request asks discovery again.
     * onEnd runs once the answer has ended, however it ends.
     */
    void generateOn(const std::optional<ModelChoice>& choice, const ChatRequest& chat,
                    std::unique_ptr<StreamingResponse> response, std::function<void()> onEnd,
                    bool mayRetry);
    [[nodiscard]] std::unique_ptr<OpenAiBackend> makeBackend(const QUrl& url,
                                                             const QString& model) const;

    AccountStore& m_accounts;
    PresetRepository& m_presets;
    std::unique_ptr<ModelBackend> m_backend;
    std::unique_ptr<ModelDiscovery> m_discovery;
    int m_maxInputChars;
    int m_maxHistoryEntries;
    int m_maxGenerationsPerDevice;
    bool m_leadingReasoning;
    QString m_configuredModel;
    QString m_configuredUrl;
    QString m_apiKey;
    int m_idleTimeoutMs;
    std::optional<double> m_temperature;
    bool m_omitTemperature;
    /** Answers streaming per device key. */
    QHash<QByteArray, int> m_running;
    QThread m_modelThread;
};

} // namespace OrvaneServer
