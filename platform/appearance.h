#pragma once

/** The desktop's light or dark appearance. */
class AppearanceProtocol {
public:
    virtual ~AppearanceProtocol() = default;
    [[nodiscard]] virtual bool isDark() const = 0;
};
