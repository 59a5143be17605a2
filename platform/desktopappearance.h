#pragma once

#include "platform/appearance.h"

/**
 * The freedesktop colour-scheme preference when a settings portal answers, otherwise
 * the lightness of the application palette's window colour.
 */
class DesktopAppearance final : public AppearanceProtocol {
public:
    [[nodiscard]] bool isDark() const override;
};
