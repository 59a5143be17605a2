#pragma once

#include "service/servicebase.h"

#include <QByteArray>
#include <QMap>
#include <QNetworkRequest>
#include <QString>

#include <chrono>
#include <optional>

/** The request method; the raw value is the method text. `patch` is declared, never used. */
enum class HTTPMethod { delete_, get, patch, post, put };

[[nodiscard]] QByteArray rawValue(HTTPMethod method);

/** Header names and values of the service's requests. */
namespace ServiceHeaders {
inline const QByteArray contentType = QByteArrayLiteral("Content-Type");
inline const QByteArray authorization = QByteArrayLiteral("Authorization");
inline const QByteArray appVersion = QByteArrayLiteral("App-Version");
inline const QByteArray jsonMediaType = QByteArrayLiteral("application/json");
/** "Bearer " followed by the token. */
[[nodiscard]] QByteArray bearer(const QString& token);
} // namespace ServiceHeaders

/** Every request to the service times out after this long without transfer progress. */
inline constexpr std::chrono::milliseconds requestTimeout{60'000};

/** A ready request: URL, timeout and headers in `request`, plus method and body. */
struct HTTPRequest {
    QNetworkRequest request;
    QByteArray method;
    std::optional<QByteArray> body;
};

/**
 * The description of one request to the service. Scheme, host and port come from the
 * service base; each concrete endpoint gives path, query, method, headers and body.
 */
class Endpoint {
public:
    using Headers = QMap<QByteArray, QByteArray>;

    explicit Endpoint(ServiceBase base)
        : m_base(std::move(base)) {}
    virtual ~Endpoint() = default;
    Endpoint(const Endpoint&) = default;
    Endpoint& operator=(const Endpoint&) = default;

    [[nodiscard]] QString scheme() const { return m_base.httpScheme(); }
    [[nodiscard]] QString host() const { return m_base.host(); }
    [[nodiscard]] virtual QString path() const = 0;
    [[nodiscard]] int port() const { return m_base.port(); }
    [[nodiscard]] virtual std::optional<ServiceBase::QueryItems> queryItems() const {
        return std::nullopt;
    }
    [[nodiscard]] virtual HTTPMethod method() const = 0;
    [[nodiscard]] virtual std::optional<Headers> headers() const = 0;
    [[nodiscard]] virtual std::optional<QByteArray> body() const = 0;

    /**
     * The request for this endpoint: the composed URL (nullopt when none results), the
     * default cache policy, a 60-second timeout, the method, exactly the endpoint's
     * headers and its body.
     */
    [[nodiscard]] std::optional<HTTPRequest> makeRequest() const;

protected:
    /** "Content-Type: application/json" and "Authorization: Bearer <token>". */
    static Headers standardPair(const QString& token);

private:
    ServiceBase m_base;
};

/** DELETE /api/0/devices/logout. */
class LogoutEndpoint final : public Endpoint {
public:
    /** The `delete` case (a keyword in C++). */
    static LogoutEndpoint remove(QString token, const ServiceBase& base);

    QString path() const override { return QStringLiteral("/api/0/devices/logout"); }
    HTTPMethod method() const override { return HTTPMethod::delete_; }
    std::optional<Headers> headers() const override { return standardPair(m_token); }
    std::optional<QByteArray> body() const override { return std::nullopt; }

private:
    LogoutEndpoint(QString token, const ServiceBase& base);
    QString m_token;
};

/** GET /api/0/user. */
class UserEndpoint final : public Endpoint {
public:
    static UserEndpoint show(QString token, const ServiceBase& base);

    QString path() const override { return QStringLiteral("/api/0/user"); }
    HTTPMethod method() const override { return HTTPMethod::get; }
    std::optional<Headers> headers() const override { return standardPair(m_token); }
    std::optional<QByteArray> body() const override { return std::nullopt; }

private:
    UserEndpoint(QString token, const ServiceBase& base);
    QString m_token;
};

/** The prompt list and its changes under /api/0/presets. */
class PresetsEndpoint final : public Endpoint {
public:
    enum class Case { presets, create, update, remove };

    static PresetsEndpoint presets(QString token, const ServiceBase& base);
    static PresetsEndpoint create(QString token, QByteArray body, const ServiceBase& base);
    static PresetsEndpoint update(QString token, qint64 id, QByteArray body,
                                  const ServiceBase& base);
    /** The `delete` case (a keyword in C++). */
    static PresetsEndpoint remove(QString token, qint64 id, const ServiceBase& base);

    [[nodiscard]] Case endpointCase() const { return m_case; }
    QString path() const override;
    HTTPMethod method() const override;
    std::optional<Headers> headers() const override { return standardPair(m_token); }
    std::optional<QByteArray> body() const override { return m_body; }

private:
    PresetsEndpoint(Case endpointCase, QString token, qint64 id, std::optional<QByteArray> body,
                    const ServiceBase& base);
    Case m_case;
    QString m_token;
    qint64 m_id;
    std::optional<QByteArray> m_body;
};

/**
 * POST /api/0/texts with a form body. The values handed in are already
 * percent-encoded; the body is their plain concatenation.
 */
class TextsEndpoint final : public Endpoint {
public:
    enum class Case { preset, command };

    static TextsEndpoint preset(QString token, qint64 presetId, QString encodedText,
                                QString encodedHistory, const ServiceBase& base);
    static TextsEndpoint command(QString token, QString encodedCommand, QString encodedText,
                                 QString encodedHistory, const ServiceBase& base);

    [[nodiscard]] Case endpointCase() const { return m_case; }
    QString path() const override { return QStringLiteral("/api/0/texts"); }
    /** An empty list: the request has a query part with nothing in it. */
    std::optional<ServiceBase::QueryItems> queryItems() const override {
        return ServiceBase::QueryItems{};
    }
    HTTPMethod method() const override { return HTTPMethod::post; }
    /** "Authorization" only: no Content-Type. */
    std::optional<Headers> headers() const override;
    std::optional<QByteArray> body() const override;

private:
    TextsEndpoint(Case endpointCase, QString token, qint64 presetId, QString command, QString text,
                  QString history, const ServiceBase& base);
    Case m_case;
    QString m_token;
    qint64 m_presetId;
    QString m_command;
    QString m_text;
    QString m_history;
};
