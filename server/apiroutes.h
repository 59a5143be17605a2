#pragma once

#include "accountstore.h"

#include <optional>

namespace OrvaneServer {

class HttpServer;
class PresetRepository;
struct HttpRequest;
struct HttpResponse;

/** The JSON API the application uses: its user, logout and prompts. */
class ApiRoutes {
public:
    ApiRoutes(AccountStore& accounts, PresetRepository& presets);

    void registerRoutes(HttpServer& server);

private:
    HttpResponse user(const HttpRequest& request, const UserRecord& user);
    HttpResponse logout(const HttpRequest& request);
    HttpResponse listPresets(const UserRecord& user);
    HttpResponse createPreset(const HttpRequest& request, const UserRecord& user);
    HttpResponse updatePreset(const HttpRequest& request, const UserRecord& user);
    HttpResponse deletePreset(const HttpRequest& request, const UserRecord& user);

    AccountStore& m_accounts;
    PresetRepository& m_presets;
};

/** Error answers of the API: {"error": message} with the status. */
HttpResponse apiError(int status, const QString& message);

} // namespace OrvaneServer
