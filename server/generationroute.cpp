#include "generationroute.h"

#include "accountstore.h"
#include "apiroutes.h"
#include "httpserver.h"
#include "openaibackend.h"
#include "presetrepository.h"
#include "thinkfilter.h"

#include <QLoggingCategory>

namespace OrvaneServer {

Q_LOGGING_CATEGORY(lcGeneration, "orvane.generation")

namespace {

/** Pipes one model stream into one answer; deletes itself when either side is done. */
class Generation : public QObject {
public:
    Generation(std::unique_ptr<StreamingResponse> response, std::unique_ptr<ModelStream> model)
        : m_response(std::move(response))
        , m_model(std::move(model)) {
        connect(m_model.get(), &ModelStream::opened, this,
                [this] { m_response->begin(200, "text/plain; charset=utf-8"); });
        connect(m_model.get(), &ModelStream::text, this, [this](const QString& piece) {
            m_response->writeChunk(m_filter.feed(piece).toUtf8());
        });
        connect(m_model.get(), &ModelStream::completed, this, [this] {
            m_response->writeChunk(m_filter.finish().toUtf8());
            m_response->finish();
            end();
        });
        connect(m_model.get(), &ModelStream::failed, this,
                [this](const QString& reason, bool opened) {
                    qCWarning(lcGeneration).noquote() << "generation failed:" << reason;
                    if (opened)
                        m_response->abort();
                    else
                        m_response->respond(HttpResponse::text(
                            503, QStringLiteral("The language model is not available: ") + reason));
                    end();
                });
        connect(m_response.get(), &StreamingResponse::clientGone, this, [this] {
            qCInfo(lcGeneration) << "client went away; cancelling the model request";
            m_model->cancel();
            end();
        });
        m_model->start();
    }

private:
    void end() {
        m_model->disconnect(this);
        m_response->disconnect(this);
        deleteLater();
    }

    std::unique_ptr<StreamingResponse> m_response;
    std::unique_ptr<ModelStream> m_model;
    ThinkFilter m_filter;
};

} // namespace

GenerationRoute::GenerationRoute(const ServerConfig& config, AccountStore& accounts,
                                 PresetRepository& presets)
    : m_accounts(accounts)
    , m_presets(presets)
    , m_maxInputChars(config.maxInputChars) {
    if (!config.llmUrl.isEmpty())
        m_backend =
            std::make_unique<OpenAiBackend>(QUrl(config.llmUrl), config.llmModel, config.llmApiKey,
                                            config.llmIdleTimeoutSeconds * 1000);
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
    if (!m_backend)
        return response->respond(HttpResponse::text(
            503, QStringLiteral("No language model is configured on this service "
                                "(start it with --llm-url and --llm-model).")));
    new Generation(std::move(response), m_backend->open(*chat));
}

} // namespace OrvaneServer
