#include "generationroute.h"

#include "accountstore.h"
#include "apiroutes.h"
#include "httpserver.h"
#include "modeldiscovery.h"
#include "openaibackend.h"
#include "presetrepository.h"
#include "thinkfilter.h"

#include <QJsonObject>
#include <QLoggingCategory>
#include <QThread>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcGeneration, "orvane.generation")

namespace {

HttpResponse noModelServer() {
    HttpResponse response = HttpResponse::text(
        503, QStringLiteral("No model server found. Start Ollama or another OpenAI-compatible "
                            "model server, or set ORVANE_LLM_URL."));
    response.headers.emplace_back("X-Orvane-Reason", "no-model-server");
    return response;
}

HttpResponse modelUnavailable(const QString& reason) {
    return HttpResponse::text(503,
                              QStringLiteral("The language model is not available: ") + reason);
}

/** Takes over an answer whose model request failed before the model accepted it. */
using Refused = std::function<void(std::unique_ptr<StreamingResponse>, const QString& reason)>;

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

/**
 * Pipes one model stream into one answer; deletes itself when either side is done. The
 * model stream lives on the model thread, so signals both ways are queued.
 */
class Generation : public QObject {
public:
    Generation(std::unique_ptr<StreamingResponse> response, std::unique_ptr<ModelStream> model,
               QThread* modelThread, Refused refused = {})
        : m_response(std::move(response))
        , m_model(model.release())
        , m_refused(std::move(refused)) {
        m_model->moveToThread(modelThread);
        connect(m_model.get(), &ModelStream::opened, this, [this] {
            if (!m_ended)
                m_response->begin(200, "text/plain; charset=utf-8");
        });
        connect(m_model.get(), &ModelStream::text, this, [this](const QString& piece) {
            if (!m_ended)
                m_response->writeChunk(m_filter.feed(piece).toUtf8());
        });
        connect(m_model.get(), &ModelStream::completed, this, [this] {
            if (m_ended)
                return;
            m_response->writeChunk(m_filter.finish().toUtf8());
            m_response->finish();
            end();
        });
        connect(m_model.get(), &ModelStream::failed, this,
                [this](const QString& reason, bool opened) {
                    if (m_ended)
                        return;
                    qCWarning(lcGeneration).noquote() << "generation failed:" << reason;
                    if (!opened && m_refused) {
                        end();
                        return std::exchange(m_refused, {})(std::move(m_response), reason);
                    }
                    if (opened)
                        m_response->abort();
                    else
                        m_response->respond(modelUnavailable(reason));
                    end();
                });
        connect(m_response.get(), &StreamingResponse::clientGone, this, [this] {
            qCInfo(lcGeneration) << "client went away; cancelling the model request";
            ModelStream* stream = m_model.get();
            QMetaObject::invokeMethod(stream, [stream] { stream->cancel(); });
            end();
        });
        ModelStream* stream = m_model.get();
        QMetaObject::invokeMethod(stream, [stream] { stream->start(); });
    }

private:
    void end() {
        m_ended = true;
        m_model->disconnect(this);
        m_response->disconnect(this);
        deleteLater();
    }

    std::unique_ptr<StreamingResponse> m_response;
    std::unique_ptr<ModelStream, DeleteLater> m_model;
    ThinkFilter m_filter;
    Refused m_refused;
    bool m_ended = false;
};

} // namespace

GenerationRoute::GenerationRoute(const ServerConfig& config, AccountStore& accounts,
                                 PresetRepository& presets)
    : m_accounts(accounts)
    , m_presets(presets)
    , m_maxInputChars(config.maxInputChars)
    , m_configuredModel(config.llmModel)
    , m_configuredUrl(config.llmUrl)
    , m_apiKey(config.llmApiKey)
    , m_idleTimeoutMs(config.llmIdleTimeoutSeconds * 1000) {
    // Model connections get an event loop of their own: with a thousand answers streaming,
    // one loop watching both sides of every answer spends its time polling sockets.
    m_modelThread.setObjectName(QStringLiteral("model connections"));
    m_modelThread.start();
    if (!config.llmUrl.isEmpty()) {
        m_backend = std::make_unique<OpenAiBackend>(QUrl(config.llmUrl), config.llmModel,
                                                    config.llmApiKey, m_idleTimeoutMs);
        return;
    }
    m_discovery =
        std::make_unique<ModelDiscovery>(config.llmCandidates, config.llmModel, config.llmApiKey);
    // Look around at once, so that the log tells early what answers will use.
    m_discovery->withChoice([](const std::optional<ModelChoice>&) {});
}

GenerationRoute::~GenerationRoute() {
    m_modelThread.quit();
    m_modelThread.wait();
}

void GenerationRoute::registerRoutes(HttpServer& server) {
    server.streamingRoute(
        "POST", QStringLiteral("/api/0/texts"),
        [this](const HttpRequest& request, std::unique_ptr<StreamingResponse> response) {
            generate(request, std::move(response));
        });
    // For monitoring: the model server in use, without credentials.
    server.route("GET", QStringLiteral("/healthz/model"), [this](const HttpRequest&) {
        const std::optional<ModelChoice> choice =
            m_discovery ? m_discovery->current()
                        : ModelChoice{QUrl(m_configuredUrl), m_configuredModel};
        QJsonObject state{{QStringLiteral("discovery"), m_discovery != nullptr}};
        if (!choice) {
            state.insert(QStringLiteral("state"), QStringLiteral("no-model-server"));
            return HttpResponse::json(state, 503);
        }
        state.insert(QStringLiteral("state"), QStringLiteral("ok"));
        state.insert(QStringLiteral("url"), publicUrl(choice->baseUrl));
        state.insert(QStringLiteral("model"), choice->model);
        return HttpResponse::json(state);
    });
}

void GenerationRoute::generate(const HttpRequest& request,
                               std::unique_ptr<StreamingResponse> response) {
    const std::optional<UserRecord> user = m_accounts.userForDeviceKey(request.bearerToken());
    if (!user)
        return response->respond(
            HttpResponse::text(401, QStringLiteral("Unknown or revoked device key.")));
    QString error;
    const std::optional<GenerationInput> input = GenerationInput::fromForm(request.body, &error);
    if (!input)
        return response->respond(HttpResponse::text(400, error));
    if (input->inputChars() > m_maxInputChars)
        return response->respond(HttpResponse::text(
            413, QStringLiteral("The text is too long: at most %1 characters, history included.")
                     .arg(m_maxInputChars)));
    const qint64 userId = user->id;
    const std::optional<ChatRequest> chat =
        buildChatRequest(*input, [this, userId](qint64 id) -> std::optional<Preset> {
            std::optional<Preset> preset = m_presets.find(id);
            if (preset && preset->ownerId && *preset->ownerId != userId)
                return std::nullopt;
            return preset;
        });
    if (!chat)
        return response->respond(HttpResponse::text(404, QStringLiteral("No such prompt.")));
    if (m_backend) {
        new Generation(std::move(response), m_backend->open(*chat), &m_modelThread);
        return;
    }
    auto waiting = std::make_shared<std::unique_ptr<StreamingResponse>>(std::move(response));
    m_discovery->withChoice(
        [this, chat = *chat, waiting](const std::optional<ModelChoice>& choice) {
            generateOn(choice, chat, std::move(*waiting), true);
        });
}

void GenerationRoute::generateOn(const std::optional<ModelChoice>& choice, const ChatRequest& chat,
                                 std::unique_ptr<StreamingResponse> response, bool mayRetry) {
    if (response->isClosed())
        return; // the client left while the servers were asked
    if (!choice)
        return response->respond(noModelServer());
    Refused refused;
    if (mayRetry) {
        // The server may have gone away: another one found since then gets the request.
        refused = [this, chat, failed = *choice](std::unique_ptr<StreamingResponse> response,
                                                 const QString& reason) {
            auto waiting =
                std::make_shared<std::unique_ptr<StreamingResponse>>(std::move(response));
            m_discovery->recheck(failed, [=, this](const std::optional<ModelChoice>& found) {
                if (found && *found == failed)
                    return (*waiting)->respond(modelUnavailable(reason));
                generateOn(found, chat, std::move(*waiting), false);
            });
        };
    }
    OpenAiBackend backend(choice->baseUrl, choice->model, m_apiKey, m_idleTimeoutMs);
    new Generation(std::move(response), backend.open(chat), &m_modelThread, std::move(refused));
}

} // namespace OrvaneServer
