#pragma once

class QNetworkAccessManager;

/**
 * The calling thread's network access manager, made on first use. Every client on a
 * thread shares it, so connections to the service are reused across requests. Bearer
 * keys go to the request's own origin only, also across redirects.
 */
[[nodiscard]] QNetworkAccessManager& networkSession();
