#pragma once

#include "platform/permissionsmanager.h"

/**
 * On Wayland the compositor decides by protocol, not by a settings page: keys can be
 * posted when it gave us a virtual keyboard.
 */
class WaylandPermissionsManager final : public PermissionsManagerProtocol {
public:
    explicit WaylandPermissionsManager(bool canPostKeys)
        : m_canPostKeys(canPostKeys) {}

    [[nodiscard]] bool isTrusted(bool) override { return m_canPostKeys; }
    [[nodiscard]] std::optional<QUrl> accessibilityUrl() const override { return std::nullopt; }
    void openAccessibilitySettings() override {}

private:
    bool m_canPostKeys;
};
