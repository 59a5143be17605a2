#include "generationroute.h"

#include "accountstore.h"
#include "apiroutes.h"
#include "httpserver.h"
#include "openaibackend.h"
#include "presetrepository.h"
#include "thinkfilter.h"

#include <QHash>
#include <QLoggingCategory>
#include <QThread>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcGeneration, "orvane.generation")

namespace {

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
               QThread* modelThread, bool leadingReasoning, std::function<void()> onEnd)
        : m_response(std::move(response))
        , m_model(model.release())
        , m_filter(leadingReasoning)
        , m_onEnd(std::move(onEnd)) {
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

    /** A classified refusal; the model server's own words stay in the log. */
    static HttpResponse refusal(const QByteArray& kind) {
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
        m_response->disconnect(this);
        if (m_onEnd)
            std::exchange(m_onEnd, nullptr)();
        deleteLater();
    }

    std::unique_ptr<StreamingResponse> m_response;
    std::unique_ptr<ModelStream, DeleteLater> m_model;
    ThinkFilter m_filter;
    std::function<void()> m_onEnd;
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
    , m_leadingReasoning(config.llmLeadingReasoning) {
    // Model connections get an event loop of their own: with a thousand answers streaming,
    // one loop watching both sides of every answer spends its time polling sockets.
    m_modelThread.setObjectName(QStringLiteral("model connections"));
    m_modelThread.start();
    if (!config.llmUrl.isEmpty()) {
        auto backend =
            std::make_unique<OpenAiBackend>(QUrl(config.llmUrl), config.llmModel, config.llmApiKey,
                                            config.llmIdleTimeoutSeconds * 1000);
        backend->setTemperature(config.llmTemperature);
        if (config.llmOmitTemperature)
            backend->omitTemperature();
        m_backend = std::move(backend);
    }
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
    if (!m_backend)
        return response->respond(HttpResponse::text(
            503, QStringLiteral("No language model is configured on this service "
                                "(start it with --llm-url and --llm-model).")));
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
    new Generation(std::move(response), m_backend->open(*chat), &m_modelThread, m_leadingReasoning,
                   [this, device] {
                       if (--m_running[device] <= 0)
                           m_running.remove(device);
                   });
}

} // namespace OrvaneServer
