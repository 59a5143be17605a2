#pragma once

#include "modelbackend.h"
#include "serverconfig.h"

#include <QHash>
#include <QThread>

#include <memory>

namespace OrvaneServer {

class AccountStore;
class HttpServer;
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

    AccountStore& m_accounts;
    PresetRepository& m_presets;
    std::unique_ptr<ModelBackend> m_backend;
    int m_maxInputChars;
    int m_maxHistoryEntries;
    int m_maxGenerationsPerDevice;
    bool m_leadingReasoning;
    /** Answers streaming per device key. */
    QHash<QByteArray, int> m_running;
    QThread m_modelThread;
};

} // namespace OrvaneServer
