#pragma once

#include "modelbackend.h"
#include "serverconfig.h"

#include <QThread>

#include <memory>

namespace OrvaneServer {

class AccountStore;
class HttpServer;
class ModelDiscovery;
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
    /** Generates on a discovered server; mayRetry: a refused request asks discovery again. */
    void generateOn(const std::optional<ModelChoice>& choice, const ChatRequest& chat,
                    std::unique_ptr<StreamingResponse> response, bool mayRetry);

    AccountStore& m_accounts;
    PresetRepository& m_presets;
    std::unique_ptr<ModelBackend> m_backend;
    std::unique_ptr<ModelDiscovery> m_discovery;
    int m_maxInputChars;
    QString m_configuredModel;
    QString m_configuredUrl;
    QString m_apiKey;
    int m_idleTimeoutMs;
    QThread m_modelThread;
};

} // namespace OrvaneServer
