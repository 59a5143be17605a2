#pragma once

#include "platform/permissionsmanager.h"

#include <memory>

class X11Display;

/**
 * On X11 nothing has to be granted: synthetic keys work whenever the server offers
 * the XTEST extension, and there is no settings page to send the user to.
 */
class X11PermissionsManager final : public PermissionsManagerProtocol {
public:
    explicit X11PermissionsManager(std::shared_ptr<X11Display> display);

    [[nodiscard]] bool isTrusted(bool prompt) override;
    [[nodiscard]] std::optional<QUrl> accessibilityUrl() const override { return std::nullopt; }
    void openAccessibilitySettings() override {}

private:
    std::shared_ptr<X11Display> m_display;
};
