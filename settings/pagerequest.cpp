#include "settings/pagerequest.h"

#include "core/maincoordinatorprotocol.h"
#include "service/servicebase.h"
#include "store/appsettings.h"
#include "store/userstore.h"

std::optional<QByteArray> PageRequest::header(const QByteArray& name) const
{
    for (const Header& header : headers) {
        if (header.first == name)
            return header.second;
    }
    return std::nullopt;
}

namespace {

void addDarkTheme(PageRequest& request, MainCoordinatorProtocol& coordinator)
{
    if (coordinator.isDarkMode())
        request.headers.append({QByteArrayLiteral("Dark-Theme"), QByteArrayLiteral("True")});
}

} // namespace

PageRequest PageRequests::pageRequest(const QString& path, MainCoordinatorProtocol& coordinator,
                                      Hotkey hotkey, const ServiceBase& base)
{
    PageRequest request;
    request.url = base.httpUrl(path);
    const auto& user = coordinator.getUserStore().user();
    const QString key = user ? user->deviceKey : QString();
    request.headers.append({QByteArrayLiteral("Authorization"), "Bearer " + key.toUtf8()});
    addDarkTheme(request, coordinator);
    if (hotkey == Hotkey::included) {
        const std::optional<QString> stored = AppSettings().preferencesSettings().windowHotkey;
        if (stored && !stored->isEmpty())
            request.headers.append({QByteArrayLiteral("Window-Hotkey"), stored->toUtf8()});
    }
    return request;
}

PageRequest PageRequests::signInRequest(MainCoordinatorProtocol& coordinator, const ServiceBase& base)
{
    PageRequest request;
    request.url = base.httpUrl(loginPath);
    addDarkTheme(request, coordinator);
    return request;
}
