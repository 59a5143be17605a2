#include "generationroute.h"

#include "accountstore.h"
#include "apiroutes.h"
#include "httpserver.h"
#include "modeldiscovery.h"
#include "openaibackend.h"
#include "presetrepository.h"
#include "thinkfilter.h"

#include <QHash>
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

/** A classified refusal; the model server's own words stay in the log. */
HttpResponse refusal(const QByteArray& kind) {
    static const QHash<QByteArray, QString> sentences = {
        {ModelFailure::NotFound, QStringLiteral("the model server does not know the model")},
        {ModelFailure::Unauthorized,
         QStringLiteral("the model server did not accept the service's credentials")},
        {ModelFailure::InputTooLong, QStringLiteral("the text is too long for the model")},
        {ModelFailure::Unreachable, QStringLiteral("the model server cannot be reached")},
    };
    HttpResponse response = HttpResponse::text(
        503, QStringLiteral("The language model is not available: %1.")
                 .arg(sentences.value(kind, QStringLiteral("the model server failed"))));
    response.headers.push_back({"X-Orvane-Reason", kind});
    return response;
}

/**
 * Takes over an answer whose model request was refused before the model accepted it,
 * with the refusal's kind and what to run once the answer has ended.
 */
using Refused = std::function<void(std::unique_ptr<StreamingResponse>, const QByteArray& kind,
                                   std::function<void()> onEnd)>;

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
               QThread* modelThread, bool leadingReasoning, std::function<void()> onEnd,
               Refused refused = {})
        : m_response(std::move(response))
        , m_model(model.release())
        , m_filter(leadingReasoning)
        , m_onEnd(std::move(onEnd))
        , m_refused(std::move(refused)) {
        m_model->moveToThread(modelThread);
        connect(m_model.get(), &ModelStream::opened, this, [this] {
            if (!m_ended)
                m_response->begin(200, "text/plain; charset=utf-8");
        });
        connect(m_model.get(), &ModelStream::text, this, [this](const QString& piece) {
            if (m_ended)
                return;
            m_response->writeChunk(m_filter.feed(piece).toUtf8());
            if (m_response->isCongested())
                setModelPaused(true);
        });
        connect(m_response.get(), &StreamingResponse::drained, this,
                [this] { setModelPaused(false); });
        connect(m_model.get(), &ModelStream::completed, this, [this] {
            if (m_ended)
                return;
            m_response->writeChunk(m_filter.finish().toUtf8());
            m_response->finish();
            end();
        });
        connect(m_model.get(), &ModelStream::failed, this,
                [this](const QString& reason, const QByteArray& kind, bool opened) {
                    if (m_ended)
                        return;
                    qCWarning(lcGeneration).noquote()
                        << (opened ? "model failed mid-answer:" : "model refused:")
                        << escapedForLog(reason)
                        << QStringLiteral("(%1)").arg(QString::fromLatin1(kind));
                    if (!opened && m_refused) {
                        // Someone else may answer instead: hand the answer over unfinished.
                        auto refused = std::exchange(m_refused, {});
                        auto onEnd = std::exchange(m_onEnd, nullptr);
                        m_response->disconnect(this);
                        auto response = std::move(m_response);
                        end();
                        return refused(std::move(response), kind, std::move(onEnd));
                    }
                    // Cut without the final chunk: the client sees a failed transfer, never a
                    // short answer that looks complete.
                    if (opened)
                        m_response->abort(502);
                    else
                        m_response->respond(refusal(kind));
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
    /** A client that does not read holds the model back instead of our memory. */
    void setModelPaused(bool paused) {
        if (m_modelPaused == paused)
            return;
        m_modelPaused = paused;
        ModelStream* stream = m_model.get();
        QMetaObject::invokeMethod(stream, [stream, paused] { stream->setPaused(paused); });
    }

    void end() {
        m_ended = true;
        m_model->disconnect(this);
        if (m_response)
            m_response->disconnect(this);
        if (m_onEnd)
            std::exchange(m_onEnd, nullptr)();
        deleteLater();
    }

    std::unique_ptr<StreamingResponse> m_response;
    std::unique_ptr<ModelStream, DeleteLater> m_model;
    ThinkFilter m_filter;
    std::function<void()> m_onEnd;
    Refused m_refused;
    bool m_ended = false;
    bool m_modelPaused = false;
};

} // namespace

GenerationRoute::GenerationRoute(const ServerConfig& config, AccountStore& accounts,
                                 PresetRepository& presets)
    : m_accounts(accounts)
    , m_presets(presets)
    , m_maxInputChars(config.maxInputChars)
    , m_maxHistoryEntries(config.maxHistoryEntries)
    , m_maxGenerationsPerDevice(config.maxGenerationsPerDevice)
    , m_leadingReasoning(config.llmLeadingReasoning)
    , m_configuredModel(config.llmModel)
    , m_configuredUrl(config.llmUrl)
    , m_apiKey(config.llmApiKey)
    , m_idleTimeoutMs(config.llmIdleTimeoutSeconds * 1000)
    , m_temperature(config.llmTemperature)
    , m_omitTemperature(config.llmOmitTemperature) {
    // Model connections get an event loop of their own: with a thousand answers streaming,
    // one loop watching both sides of every answer spends its time polling sockets.
    m_modelThread.setObjectName(QStringLiteral("model connections"));
    m_modelThread.start();
    if (!config.llmUrl.isEmpty()) {
        m_backend = makeBackend(QUrl(config.llmUrl), config.llmModel);
        return;
    }
    m_discovery =
        std::make_unique<ModelDiscovery>(config.llmCandidates, config.llmModel, config.llmApiKey);
    // Look around at once, so that the log tells early what answers will use.
    m_discovery->withChoice([](const std::optional<ModelChoice>&) {});
}

std::unique_ptr<OpenAiBackend> GenerationRoute::makeBackend(const QUrl& url,
                                                            const QString& model) const {
    auto backend = std::make_unique<OpenAiBackend>(url, model, m_apiKey, m_idleTimeoutMs);
    backend->setTemperature(m_temperature);
    if (m_omitTemperature)
        backend->omitTemperature();
    return backend;
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
    if (input->history.size() > m_maxHistoryEntries)
        return response->respond(
            HttpResponse::text(413, QStringLiteral("The history is too long: at most %1 entries.")
                                        .arg(m_maxHistoryEntries)));
    const auto tooLong = [&] {
        return HttpResponse::text(
            413, QStringLiteral("The text is too long: at most %1 characters, history included.")
                     .arg(m_maxInputChars));
    };
    if (input->inputChars() > m_maxInputChars)
        return response->respond(tooLong());
    const qint64 userId = user->id;
    // A prompt deleted since keeps its place in a conversation; another user's prompt is
    // no more found there than for the current turn.
    for (const HistoryExchange& exchange : input->history) {
        const std::optional<Preset> named =
            exchange.presetId ? m_presets.find(*exchange.presetId) : std::nullopt;
        if (named && named->ownerId && *named->ownerId != userId)
            return response->respond(HttpResponse::text(404, QStringLiteral("No such prompt.")));
    }
    const std::optional<ChatRequest> chat =
        buildChatRequest(*input, [this, userId](qint64 id) -> std::optional<Preset> {
            std::optional<Preset> preset = m_presets.find(id);
            if (preset && preset->ownerId && *preset->ownerId != userId)
                return std::nullopt;
            return preset;
        });
    if (!chat)
        return response->respond(HttpResponse::text(404, QStringLiteral("No such prompt.")));
    // What the model really gets: prompts named in the history count with their text.
    qsizetype sent = 0;
    for (const ChatMessage& message : chat->messages)
        sent += message.role == QLatin1String("system") ? 0 : message.content.size();
    if (sent > m_maxInputChars)
        return response->respond(tooLong());
    const QByteArray device = request.bearerToken();
    int& running = m_running[device];
    if (running >= m_maxGenerationsPerDevice) {
        HttpResponse busy =
            HttpResponse::text(429, QStringLiteral("This device already has %1 answers running.")
                                        .arg(m_maxGenerationsPerDevice));
        busy.headers.push_back({"Retry-After", "1"});
        return response->respond(busy);
    }
    ++running;
    std::function<void()> onEnd = [this, device] {
        if (--m_running[device] <= 0)
            m_running.remove(device);
    };
    if (m_backend) {
        new Generation(std::move(response), m_backend->open(*chat), &m_modelThread,
                       m_leadingReasoning, std::move(onEnd));
        return;
    }
    auto waiting = std::make_shared<std::unique_ptr<StreamingResponse>>(std::move(response));
    m_discovery->withChoice([this, chat = *chat, waiting,
                             onEnd = std::move(onEnd)](const std::optional<ModelChoice>& choice) {
        generateOn(choice, chat, std::move(*waiting), onEnd, true);
    });
}

void GenerationRoute::generateOn(const std::optional<ModelChoice>& choice, const ChatRequest& chat,
                                 std::unique_ptr<StreamingResponse> response,
                                 std::function<void()> onEnd, bool mayRetry) {
    if (response->isClosed() || !choice) {
        // The client left while the servers were asked, or there is none to ask.
        if (!response->isClosed())
            response->respond(noModelServer());
        onEnd();
        return;
    }
    Refused refused;
    if (mayRetry) {
        // The server may have gone away: another one found since then gets the request.
        refused = [this, chat, failed = *choice](std::unique_ptr<StreamingResponse> response,
                                                 const QByteArray& kind,
                                                 std::function<void()> onEnd) {
            auto waiting =
                std::make_shared<std::unique_ptr<StreamingResponse>>(std::move(response));
            m_discovery->recheck(failed, [=, this](const std::optional<ModelChoice>& found) {
                if (found && *found == failed) {
                    (*waiting)->respond(refusal(kind));
                    onEnd();
                    return;
                }
                generateOn(found, chat, std::move(*waiting), onEnd, false);
            });
        };
    }
    new Generation(std::move(response), makeBackend(choice->baseUrl, choice->model)->open(chat),
                   &m_modelThread, m_leadingReasoning, std::move(onEnd), std::move(refused));
}

} // namespace OrvaneServer
