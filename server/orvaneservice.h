#pragma once

#include "accountstore.h"
#include "apiroutes.h"
#include "authchannel.h"
#include "browsersignin.h"
#include "database.h"
#include "httpserver.h"
#include "presetrepository.h"
#include "serverconfig.h"
#include "webviewpages.h"

#include <QObject>

#include <memory>

namespace OrvaneServer {

class GenerationRoute;

/** The whole service: storage, routes and the sign-in channel behind one listening port. */
class OrvaneService : public QObject {
    Q_OBJECT
public:
    OrvaneService(const ServerConfig& config, Database database, QObject* parent = nullptr);
    ~OrvaneService() override;

    /** Starts listening; false with a reason in error when the port or TLS set-up fails. */
    bool start(QString* error);
    /** Stops accepting work and lets running answers end; emits stopped when done. */
    void shutDown();

    [[nodiscard]] QString listeningAddress() const;

Q_SIGNALS:
    void stopped();

private:
    void relaySignInsBetweenInstances();

    ServerConfig m_config;
    Database m_database;
    AccountStore m_accounts;
    PresetRepository m_presets;
    AuthChannel m_channel;
    HttpServer m_server;
    BrowserSignIn m_browserSignIn;
    ApiRoutes m_api;
    WebViewPages m_pages;
    std::unique_ptr<GenerationRoute> m_generation;
    quint16 m_port = 0;
    bool m_stopping = false;
};

} // namespace OrvaneServer
