#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class AppearanceProtocol;
class ServiceBase;
class UserStoreProtocol;

/** A page of the service for an embedded web view: its URL and headers, in order. */
struct PageRequest {
    Q_GADGET
    Q_PROPERTY(QUrl url MEMBER url)

public:
    using Header = QPair<QByteArray, QByteArray>;

    QUrl url;
    QList<Header> headers;
    std::chrono::seconds timeout{60};

    [[nodiscard]] bool isValid() const { return url.isValid(); }
    [[nodiscard]] std::optional<QByteArray> header(const QByteArray& name) const;
    friend bool operator==(const PageRequest&, const PageRequest&) = default;
};
Q_DECLARE_METATYPE(PageRequest)

/** What every page of the service is requested with. */
struct PageContext {
    const UserStoreProtocol& session;
    const AppearanceProtocol& appearance;
    const ServiceBase& base;
};

/** How the embedded pages are requested from the service. */
namespace PageRequests {

enum class Hotkey { omitted, included };

/**
 * The page at path for the signed-in user: "Authorization" always ("Bearer " + device
 * key, nothing after it without a user), "Dark-Theme: True" only when dark, and with
 * Hotkey::included the stored window hotkey as "Window-Hotkey" when it is not empty.
 */
[[nodiscard]] PageRequest pageRequest(const QString& path, const PageContext& context,
                                      Hotkey hotkey);
/** The sign-in page: only the "Dark-Theme" rule, no credentials. */
[[nodiscard]] PageRequest signInRequest(const PageContext& context);

inline const QString loginPath = QStringLiteral("/web_view/login");
inline const QString continuePath = QStringLiteral("/web_view/continue");
inline const QString welcomePath = QStringLiteral("/web_view/welcome");
inline const QString finishPath = QStringLiteral("/web_view/finish");
inline const QString accountPath = QStringLiteral("/web_view/account");
inline const QString newReportPath = QStringLiteral("/web_view/new_report");
inline const QString helpPath = QStringLiteral("/web_view/help");

} // namespace PageRequests
