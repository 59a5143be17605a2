#include "core/appconstants.h"

#include <array>

namespace AppConstants {

namespace {
const std::array<std::pair<Window, const char*>, 5> rawValues{{
    {Window::mainGroupId, "AIWidget"},
    {Window::authGroupId, "Authorization"},
    {Window::settingsGroupId, "Settings"},
    {Window::noConnectionGroupId, "NoConnection"},
    {Window::helpCenterGroupId, "HelpCenter"},
}};
} // namespace

QString rawValue(Window window) {
    for (const auto& [w, raw] : rawValues) {
        if (w == window)
            return QString::fromLatin1(raw);
    }
    Q_UNREACHABLE();
}

std::optional<Window> windowFromRawValue(const QString& raw) {
    for (const auto& [w, value] : rawValues) {
        if (raw == QLatin1String(value))
            return w;
    }
    return std::nullopt;
}

} // namespace AppConstants
