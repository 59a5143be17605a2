#pragma once

#include "platform/appearance.h"
#include "platform/clipboard.h"
#include "platform/hotkeygrabber.h"
#include "platform/keyboardmanager.h"
#include "platform/permissionsmanager.h"
#include "platform/platformbackend.h"
#include "platform/windowtracker.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>

/*
 * Test doubles of the platform capabilities. Each keeps a shared log of what the
 * code under test did, in order, so a test can check the sequence of clipboard
 * writes and keystrokes as a target application would have seen it.
 */

class FakeWindowTracker final : public WindowTrackerProtocol {
public:
    std::optional<RunningApp> frontmost;
    QList<quint32> activated;
    /** Windows that do not come to the front when activated. */
    QList<quint32> unresponsive;

    [[nodiscard]] std::optional<RunningApp> frontmostApp() const override { return frontmost; }
    void activate(const RunningApp& app, std::function<void(bool)> done = {}) override;
    [[nodiscard]] bool isAlive(const RunningApp&) const override { return true; }
    [[nodiscard]] bool isOwnApp(const RunningApp& app) const override;
};

/** Records keystrokes as "key <code> <flags in hex>"; onKeystroke plays the target application. */
class FakeKeyboardManager final : public KeyboardManagerProtocol {
public:
    explicit FakeKeyboardManager(QStringList& log)
        : m_log(log) {}

    std::function<void(int keyCode, quint64 flags)> onKeystroke;

    void postKeystroke(int keyCode, quint64 flags) override;
    void whenModifiersReleased(std::function<void()> ready) override;

private:
    QStringList& m_log;
};

/**
 * Records "clear", "write <text>" and "write primary <text>" (text served for a paste);
 * otherApplicationCopies plays another owner, primary and primaryOwner the selection
 * that selecting text makes. Reads and saves answer from the event loop.
 */
class FakeClipboard final : public ClipboardProtocol {
    Q_OBJECT
public:
    explicit FakeClipboard(QStringList& log)
        : m_log(log) {}

    std::optional<QString> primary;
    std::optional<qint64> primaryOwner;

    void clear() override {
        m_log.append(QStringLiteral("clear"));
        m_text.reset();
    }
    void setText(const QString& text) override {
        m_log.append(QStringLiteral("write ") + text);
        m_text = text;
    }
    [[nodiscard]] std::optional<QString> text() const override { return m_text; }

    void serveText(const QString& text, Selection selection) override;
    void readText(Selection selection,
                  std::function<void(std::optional<QString>)> done) const override;
    void save(Selection selection, std::function<void(ClipboardContent)> done) const override;
    void restore(Selection selection, const ClipboardContent& content) override;
    [[nodiscard]] std::optional<qint64> ownerProcess(Selection selection) const override {
        return selection == Selection::primary ? primaryOwner : std::nullopt;
    }

    /** Another application takes the clipboard with text (or with no text). */
    void otherApplicationCopies(std::optional<QString> text) {
        m_text = std::move(text);
        Q_EMIT changedByOtherApp();
    }

private:
    [[nodiscard]] std::optional<QString>& content(Selection selection) {
        return selection == Selection::primary ? primary : m_text;
    }

    QStringList& m_log;
    std::optional<QString> m_text;
};

class FakePermissionsManager final : public PermissionsManagerProtocol {
public:
    bool trusted = true;

    [[nodiscard]] bool isTrusted(bool) override { return trusted; }
    [[nodiscard]] std::optional<QUrl> accessibilityUrl() const override { return std::nullopt; }
    void openAccessibilitySettings() override {}
};

class FakeAppearance final : public AppearanceProtocol {
public:
    bool dark = false;
    [[nodiscard]] bool isDark() const override { return dark; }
};

/** Grabs succeed unless the combination is in takenByOthers; press() plays the user. */
class FakeHotkeyGrabber final : public HotkeyGrabberProtocol {
public:
    struct Combination {
        int keyCode;
        quint64 flags;
        friend bool operator==(const Combination&, const Combination&) = default;
    };

    QList<Combination> takenByOthers;
    std::map<quint32, Combination> grabs;

    bool grab(quint32 id, int keyCode, quint64 flags) override;
    void ungrab(quint32 id) override { grabs.erase(id); }
    [[nodiscard]] bool isTaken(int keyCode, quint64 flags) override {
        return takenByOthers.contains(Combination{keyCode, flags});
    }
    void setHandler(Handler handler) override { m_handler = std::move(handler); }

    /** Delivers a press or release of the combination to every grab that holds it. */
    void press(int keyCode, quint64 flags, bool pressed = true);

private:
    Handler m_handler;
};

/** A complete backend of fakes sharing one event log. */
struct FakePlatform {
    QStringList log;
    FakeWindowTracker* windowTracker = nullptr;
    FakeKeyboardManager* keyboardManager = nullptr;
    FakeClipboard* clipboard = nullptr;
    FakeHotkeyGrabber* hotkeyGrabber = nullptr;
    PlatformBackend backend;

    FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
};
