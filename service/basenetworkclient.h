#pragma once

#include "core/jsondecoder.h"
#include "service/endpoint.h"
#include "service/networkerror.h"

#include <QNetworkReply>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

/**
 * The shared send-and-check operations of the plain request/response services
 * (UserService, LogoutService, PresetsService). They share the thread's network
 * session; "Content-Type: application/json" is added when a request does not set it
 * itself. Completions run on the thread that owns the client (the main thread), once
 * per request, and never after the client is destroyed: destroying it aborts its
 * requests.
 */
class BaseNetworkClient {
public:
    explicit BaseNetworkClient(ServiceBase base);
    virtual ~BaseNetworkClient();
    BaseNetworkClient(const BaseNetworkClient&) = delete;
    BaseNetworkClient& operator=(const BaseNetworkClient&) = delete;

    /**
     * Sends the request and decodes a 2xx body as Response, which offers
     * `static std::optional<Response> decode(JsonDecoder&)`. Failures: invalidUrl (no
     * request, nothing sent), unknown (transport failure, cancellation, timeout),
     * noResponse (no HTTP status), decode (2xx with a body that is not a Response,
     * an empty body included), forbidden (403), unauthorised (401), badRequest (400),
     * unexpected (any other status).
     */
    template <typename Response>
    void sendRequest(const Endpoint& endpoint,
                     std::function<void(NetworkResult<Response>)> completion) {
        send(endpoint, [completion = std::move(completion)](const Outcome& outcome) {
            if (outcome.error) {
                completion(*outcome.error);
                return;
            }
            if (*outcome.status < 200 || *outcome.status > 299) {
                completion(mapStatusForDecoding(*outcome.status));
                return;
            }
            JsonDecoder decoder = JsonDecoder::fromJson(outcome.body, typeName<Response>());
            std::optional<Response> value;
            if (decoder.ok())
                value = Response::decode(decoder);
            if (!value) {
                completion(NetworkError::decode);
                return;
            }
            completion(std::move(*value));
        });
    }

    /**
     * Sends the request without reading the answer: any 2xx is success (true); 401
     * unauthorised, 400 badRequest, every other status (403 included) unexpected;
     * invalidUrl, unknown and noResponse as for sendRequest.
     */
    void sendRequestWithoutResponse(const Endpoint& endpoint,
                                    std::function<void(NetworkResult<bool>)> completion);

    /** The status mapping of sendRequest for a status outside 200..299. */
    static NetworkError mapStatusForDecoding(int status);
    /** The status mapping of sendRequestWithoutResponse for a status outside 200..299. */
    static NetworkError mapStatusWithoutResponse(int status);

    [[nodiscard]] const ServiceBase& serviceBase() const { return m_base; }

    /** Builds the request as sent: makeRequest plus session header and "App-Version". */
    static std::optional<HTTPRequest> prepare(const Endpoint& endpoint);

protected:
    /** Lives as long as the client: what its deferred work is tied to. */
    [[nodiscard]] QObject& context() const { return *m_context; }

private:
    struct Outcome {
        std::optional<NetworkError> error; // set when no status is to be looked at
        std::optional<int> status;
        QByteArray body;
    };

    template <typename T>
    static QString typeName() {
        return QString::fromLatin1(T::typeName);
    }

    void send(const Endpoint& endpoint, std::function<void(const Outcome&)> completion);

    ServiceBase m_base;
    std::unique_ptr<QObject> m_context;
};
