#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

/**
 * Where the service lives: the scheme, host and port of every HTTP and socket URL.
 *
 * The base comes from the compiled-in default (the local orvane-service) or the
 * environment variable
 * ORVANE_SERVICE_URL. Plain http (and so ws) is accepted only for loopback hosts;
 * any other host must use https (and so wss). URLs are composed from scheme, host,
 * path and port with the port always written out ("https://host:443/api/0/user").
 */
class ServiceBase {
public:
    using QueryItems = QList<std::pair<QString, QString>>;

    /** The local orvane-service of the README's run command. */
    static inline const QString defaultUrl = QStringLiteral("http://127.0.0.1:8787");
    /** Names the environment variable that overrides defaultUrl. */
    static inline const char* const environmentVariable = "ORVANE_SERVICE_URL";

    /**
     * Reads a base URL such as "https://orvane.example.org" or "http://127.0.0.1:8787".
     * Refuses (nullopt, with the reason in whyRefused) anything but http or https, a
     * missing host, user information, a path other than "/", a query or fragment, and
     * plain http for a host that is not loopback.
     */
    static std::optional<ServiceBase> parse(const QString& url, QString* whyRefused = nullptr);

    /**
     * The base from ORVANE_SERVICE_URL or the default. A refused value is logged
     * (category "url") and gives an invalid base: every request then fails with
     * invalidUrl and nothing is sent anywhere.
     */
    static ServiceBase fromEnvironment();

    /** A base that composes no URL. */
    static ServiceBase invalid() { return {}; }

    /** True for "localhost" and for addresses in 127.0.0.0/8 and ::1. */
    static bool isLoopbackHost(const QString& host);

    [[nodiscard]] bool isValid() const { return !m_host.isEmpty(); }
    /** "https" or, for loopback only, "http". */
    [[nodiscard]] const QString& httpScheme() const { return m_httpScheme; }
    /** "wss" or, for loopback only, "ws". */
    [[nodiscard]] const QString& socketScheme() const { return m_socketScheme; }
    [[nodiscard]] const QString& host() const { return m_host; }
    [[nodiscard]] int port() const { return m_port; }

    /** scheme://host:port + path [+ query]; an invalid QUrl for an invalid base. */
    [[nodiscard]] QUrl httpUrl(const QString& path,
                               const std::optional<QueryItems>& queryItems = std::nullopt) const;
    [[nodiscard]] QUrl socketUrl(const QString& path) const;

    /** Composes scheme, host, port, path and query; an invalid URL when that fails. */
    static QUrl compose(const QString& scheme, const QString& host, int port, const QString& path,
                        const std::optional<QueryItems>& queryItems);

    friend bool operator==(const ServiceBase&, const ServiceBase&) = default;

private:
    ServiceBase() = default;

    QString m_httpScheme;
    QString m_socketScheme;
    QString m_host;
    int m_port = -1;
};
