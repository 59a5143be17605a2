#include "service/servicebase.h"

#include "core/logging.h"

#include <QHostAddress>
#include <QUrlQuery>

std::optional<ServiceBase> ServiceBase::parse(const QString& text, QString* whyRefused) {
    const auto refuse = [&](const QString& reason) -> std::optional<ServiceBase> {
        if (whyRefused)
            *whyRefused = reason;
        return std::nullopt;
    };

    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("it is not a valid URL"));
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return refuse(QStringLiteral("the scheme must be https (or http for a loopback host)"));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("it names no host"));
    if (!url.userInfo().isEmpty())
        return refuse(QStringLiteral("user information does not belong in the service URL"));
    if (!url.path().isEmpty() && url.path() != u"/")
        return refuse(QStringLiteral("the service must be served from the root path"));
    if (url.hasQuery() || url.hasFragment())
        return refuse(QStringLiteral("a query or fragment does not belong in the service URL"));
    if (scheme == u"http" && !isLoopbackHost(url.host()))
        return refuse(QStringLiteral("plain http is allowed only for loopback hosts; use https"));

    ServiceBase base;
    const bool secure = scheme == u"https";
    base.m_httpScheme = secure ? QStringLiteral("https") : QStringLiteral("http");
    base.m_socketScheme = secure ? QStringLiteral("wss") : QStringLiteral("ws");
    base.m_host = url.host();
    base.m_port = url.port(secure ? 443 : 80);
    return base;
}

ServiceBase ServiceBase::fromEnvironment() {
    const QByteArray value = qgetenv(environmentVariable);
    const QString text = value.isEmpty() ? defaultUrl : QString::fromUtf8(value);
    QString why;
    if (auto parsed = parse(text, &why))
        return *parsed;
    qCCritical(lcUrl, "Refusing service URL \"%s\" from %s: %s. No request will be sent.",
               qUtf8Printable(text), environmentVariable, qUtf8Printable(why));
    return ServiceBase{};
}

bool ServiceBase::isLoopbackHost(const QString& host) {
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QUrl ServiceBase::compose(const QString& scheme, const QString& host, int port, const QString& path,
                          const std::optional<QueryItems>& queryItems) {
    if (host.isEmpty() || scheme.isEmpty())
        return {};
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host, QUrl::StrictMode);
    url.setPort(port);
    url.setPath(path, QUrl::StrictMode);
    if (queryItems) {
        QUrlQuery query;
        query.setQueryItems(*queryItems);
        // An empty list still sets a (possibly empty) query.
        url.setQuery(query);
    }
    if (!url.isValid())
        return {};
    return url;
}

QUrl ServiceBase::httpUrl(const QString& path, const std::optional<QueryItems>& queryItems) const {
    return compose(m_httpScheme, m_host, m_port, path, queryItems);
}

QUrl ServiceBase::socketUrl(const QString& path) const {
    return compose(m_socketScheme, m_host, m_port, path, std::nullopt);
}
