#pragma once

#include "accountstore.h"

#include <QByteArray>

#include <optional>

namespace OrvaneServer {

class Database;
class HttpServer;
struct HttpRequest;
struct HttpResponse;

/** The pages the application shows in its embedded web view. */
class WebViewPages {
public:
    WebViewPages(AccountStore& accounts, const Database& database);

    void registerRoutes(HttpServer& server);

private:
    HttpResponse account(const HttpRequest& request);
    HttpResponse reportForm(const HttpRequest& request);
    HttpResponse submitReport(const HttpRequest& request);
    HttpResponse help(const HttpRequest& request);
    [[nodiscard]] QByteArray reportToken(qint64 userId, qint64 expires,
                                         const QByteArray& deviceHash) const;
    std::optional<UserRecord> userOf(const HttpRequest& request);

    AccountStore& m_accounts;
    const Database& m_database;
    QByteArray m_secret;
};

} // namespace OrvaneServer
