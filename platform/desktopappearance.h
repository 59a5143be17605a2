#pragma once

#include "platform/appearance.h"

#include <memory>

class X11Display;

/**
 * The freedesktop colour-scheme preference when a settings portal answers, otherwise
 * the lightness of the application palette's window colour.
 */
class DesktopAppearance final : public AppearanceProtocol {
public:
    /** display: the X11 connection that tells whether a compositor runs, if any. */
    explicit DesktopAppearance(std::shared_ptr<X11Display> display = nullptr)
        : m_display(std::move(display)) {}

    [[nodiscard]] bool isDark() const override;
    [[nodiscard]] bool hasCompositor() const override;

private:
    std::shared_ptr<X11Display> m_display;
};
