#include "apiroutes.h"

#include "httpserver.h"
#include "presetrepository.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvaneServer {

namespace {

using AuthenticatedHandler = std::function<HttpResponse(const HttpRequest&, const UserRecord&)>;

std::optional<qint64> presetId(const HttpRequest& request) {
    bool ok = false;
    const qint64 id = request.pathArguments.value(0).toLongLong(&ok);
    return ok && id > 0 ? std::optional<qint64>(id) : std::nullopt;
}

} // namespace

HttpResponse apiError(int status, const QString& message) {
    return HttpResponse::json({{QStringLiteral("error"), message}}, status);
}

ApiRoutes::ApiRoutes(AccountStore& accounts, PresetRepository& presets)
    : m_accounts(accounts)
    , m_presets(presets) {}

void ApiRoutes::registerRoutes(HttpServer& server) {
    const auto authenticated = [this](AuthenticatedHandler handler) {
        return [this, handler](const HttpRequest& request) {
            const std::optional<UserRecord> user =
                m_accounts.userForDeviceKey(request.bearerToken());
            if (!user)
                return apiError(401, QStringLiteral("unknown or revoked device key"));
            return handler(request, *user);
        };
    };
    server.route(
        "GET", QStringLiteral("/api/0/user"),
        authenticated([this](const HttpRequest& r, const UserRecord& u) { return user(r, u); }));
    server.route("DELETE", QStringLiteral("/api/0/devices/logout"),
                 [this](const HttpRequest& r) { return logout(r); });
    server.route(
        "GET", QStringLiteral("/api/0/presets"),
        authenticated([this](const HttpRequest&, const UserRecord& u) { return listPresets(u); }));
    server.route("POST", QStringLiteral("/api/0/presets"),
                 authenticated([this](const HttpRequest& r, const UserRecord& u) {
                     return createPreset(r, u);
                 }));
    server.route("PUT", QStringLiteral("/api/0/presets/{}"),
                 authenticated([this](const HttpRequest& r, const UserRecord& u) {
                     return updatePreset(r, u);
                 }));
    server.route("DELETE", QStringLiteral("/api/0/presets/{}"),
                 authenticated([this](const HttpRequest& r, const UserRecord& u) {
                     return deletePreset(r, u);
                 }));
}

HttpResponse ApiRoutes::user(const HttpRequest& request, const UserRecord& user) {
    return HttpResponse::json(
        {{QStringLiteral("data"), QJsonObject{{QStringLiteral("email"), user.email},
                                              {QStringLiteral("id"), user.id},
                                              {QStringLiteral("device_key"),
                                               QString::fromLatin1(request.bearerToken())}}}});
}

HttpResponse ApiRoutes::logout(const HttpRequest& request) {
    if (!m_accounts.revokeDevice(request.bearerToken()))
        return apiError(401, QStringLiteral("unknown or revoked device key"));
    return HttpResponse::empty(204);
}

HttpResponse ApiRoutes::listPresets(const UserRecord& user) {
    QJsonArray data;
    for (const Preset& preset : m_presets.listFor(user.id))
        data.append(preset.toJson());
    return HttpResponse::json({{QStringLiteral("data"), data}});
}

namespace {

std::optional<Preset> presetFromBody(const QByteArray& body, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("the body is not a JSON object");
        return std::nullopt;
    }
    const QJsonValue record = document.object().value(QLatin1String("preset"));
    if (!record.isObject()) {
        *error = QStringLiteral("\"preset\" must be an object");
        return std::nullopt;
    }
    return Preset::fromClientJson(record.toObject(), error);
}

} // namespace

HttpResponse ApiRoutes::createPreset(const HttpRequest& request, const UserRecord& user) {
    QString error;
    const std::optional<Preset> preset = presetFromBody(request.body, &error);
    if (!preset)
        return apiError(400, error);
    const std::optional<Preset> created = m_presets.create(user.id, *preset);
    if (!created)
        return apiError(500, QStringLiteral("the prompt could not be stored"));
    return HttpResponse::json({{QStringLiteral("data"), created->toJson()}});
}

HttpResponse ApiRoutes::updatePreset(const HttpRequest& request, const UserRecord& user) {
    const std::optional<qint64> id = presetId(request);
    const std::optional<Preset> existing = id ? m_presets.find(*id) : std::nullopt;
    if (!existing || (existing->ownerId && *existing->ownerId != user.id))
        return apiError(404, QStringLiteral("no such prompt"));
    if (existing->isGlobal())
        return apiError(403, QStringLiteral("standard prompts cannot be changed"));
    QString error;
    std::optional<Preset> preset = presetFromBody(request.body, &error);
    if (!preset)
        return apiError(400, error);
    if (!m_presets.update(*id, *preset))
        return apiError(500, QStringLiteral("the prompt could not be stored"));
    preset->id = *id;
    preset->ownerId = user.id;
    return HttpResponse::json({{QStringLiteral("data"), preset->toJson()}});
}

HttpResponse ApiRoutes::deletePreset(const HttpRequest& request, const UserRecord& user) {
    const std::optional<qint64> id = presetId(request);
    const std::optional<Preset> existing = id ? m_presets.find(*id) : std::nullopt;
    if (!existing || (existing->ownerId && *existing->ownerId != user.id))
        return apiError(404, QStringLiteral("no such prompt"));
    if (existing->isGlobal())
        return apiError(403, QStringLiteral("standard prompts cannot be deleted"));
    if (!m_presets.remove(*id))
        return apiError(500, QStringLiteral("the prompt could not be deleted"));
    return HttpResponse::json(existing->toJson());
}

} // namespace OrvaneServer
