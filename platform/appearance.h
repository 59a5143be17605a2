#pragma once

/** The desktop's light or dark appearance. */
class AppearanceProtocol {
public:
    virtual ~AppearanceProtocol() = default;
    [[nodiscard]] virtual bool isDark() const = 0;
    /** Whether a compositing manager runs: without one, translucent corners show black. */
    [[nodiscard]] virtual bool hasCompositor() const { return true; }
};
