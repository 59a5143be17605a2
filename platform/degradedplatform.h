#pragma once

#include "platform/hotkeygrabber.h"
#include "platform/keyboardmanager.h"
#include "platform/permissionsmanager.h"
#include "platform/windowtracker.h"

/*
 * What a session without X11 offers for now: no foreign windows, no synthetic keys,
 * no global grabs. Everything answers at once and plainly "no".
 */

class UnavailableWindowTracker final : public WindowTrackerProtocol {
public:
    [[nodiscard]] std::optional<RunningApp> frontmostApp() const override { return std::nullopt; }
    void activate(const RunningApp&, std::function<void(bool)> done = {}) override;
    [[nodiscard]] bool isAlive(const RunningApp&) const override { return false; }
    [[nodiscard]] bool isOwnApp(const RunningApp& app) const override;
};

class UnavailableKeyboardManager final : public KeyboardManagerProtocol {
public:
    void postKeystroke(int, quint64) override {}
    void whenModifiersReleased(std::function<void()> ready) override;
};

class UnavailablePermissionsManager final : public PermissionsManagerProtocol {
public:
    [[nodiscard]] bool isTrusted(bool) override { return false; }
    [[nodiscard]] std::optional<QUrl> accessibilityUrl() const override { return std::nullopt; }
    void openAccessibilitySettings() override {}
};

class UnavailableHotkeyGrabber final : public HotkeyGrabberProtocol {
public:
    bool grab(quint32, int, quint64) override { return false; }
    void ungrab(quint32) override {}
    [[nodiscard]] bool isTaken(int, quint64) override { return false; }
    void setHandler(Handler) override {}
};
