#include "settings/pagerequest.h"

#include "platform/appearance.h"
#include "service/servicebase.h"
#include "store/appsettings.h"
#include "store/userstore.h"

std::optional<QByteArray> PageRequest::header(const QByteArray& name) const {
    for (const Header& header : headers) {
        if (header.first == name)
            return header.second;
    }
    return std::nullopt;
}

namespace {

void addDarkTheme(PageRequest& request, const PageContext& context) {
    if (context.appearance.isDark())
        request.headers.append({QByteArrayLiteral("Dark-Theme"), QByteArrayLiteral("True")});
}

} // namespace

PageRequest PageRequests::pageRequest(const QString& path, const PageContext& context,
                                      Hotkey hotkey) {
    PageRequest request;
    request.url = context.base.httpUrl(path);
    request.headers.append(
        {QByteArrayLiteral("Authorization"), "Bearer " + context.session.deviceKey().toUtf8()});
    addDarkTheme(request, context);
    if (hotkey == Hotkey::included) {
        const std::optional<QString> stored = AppSettings().preferencesSettings().windowHotkey;
        if (stored && !stored->isEmpty())
            request.headers.append({QByteArrayLiteral("Window-Hotkey"), stored->toUtf8()});
    }
    return request;
}

PageRequest PageRequests::signInRequest(const PageContext& context) {
    PageRequest request;
    request.url = context.base.httpUrl(loginPath);
    addDarkTheme(request, context);
    return request;
}
