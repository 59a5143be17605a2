#pragma once

#include "core/runningapp.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ClipboardProtocol;
class KeyboardManagerProtocol;
class Timer;
class TimerSource;
class WindowTrackerProtocol;

/** A range of characters in another application's text. */
struct TextRange {
    qint64 location = 0;
    qint64 length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

/** A captured selection and the window it came from. */
struct PasteboardManagerCopyItem {
    RunningApp app;
    QString text;
    /** Never known on this platform; kept for the callers that carry it along. */
    std::optional<TextRange> selectedRange;
};

/** Text to paste back, with the window it is meant for (the caller activates it). */
struct PasteboardManagerPasteItem {
    QString text;
    std::optional<RunningApp> app;
    std::optional<TextRange> selectedRange;
};

/**
 * Takes the selection of the application in front by posting Ctrl+C and reading the
 * clipboard, and puts text back by writing the clipboard and posting Ctrl+V. Both
 * work asynchronously on the main thread; the main thread never blocks.
 */
class PasteboardManager : public QObject {
    Q_OBJECT
public:
    /** app: the window in front when the capture started; item: set when text came. */
    using CopyCompletion = std::function<void(std::optional<RunningApp> app,
                                              std::optional<PasteboardManagerCopyItem> item)>;

    PasteboardManager(WindowTrackerProtocol& windowTracker,
                      KeyboardManagerProtocol& keyboardManager, ClipboardProtocol& pasteboard,
                      TimerSource& timers, QObject* parent = nullptr);
    ~PasteboardManager() override;

    /** 0.1 s, or ORVANE_CAPTURE_TIMEOUT_MS (milliseconds) for slow machines. */
    static std::chrono::milliseconds defaultCaptureTimeout();
    static constexpr std::chrono::seconds pasteConfirmTimeout{2};

    /** How long a capture waits for the application to copy before it finds nothing. */
    void setCaptureTimeout(std::chrono::milliseconds timeout) { m_captureTimeout = timeout; }
    [[nodiscard]] std::chrono::milliseconds captureTimeout() const { return m_captureTimeout; }

    /**
     * Clears the clipboard, posts Ctrl+C once the user has let go of the hotkey's
     * modifiers, and reads the clipboard as soon as another application owns it, or
     * finds nothing at the timeout (never the old content). completion runs once,
     * always after this returns. A new capture ends a pending one, which then finds
     * nothing.
     */
    void copySelection(CopyCompletion completion);

    /**
     * Pastes item.text into the window that has the focus: the clipboard write, then
     * Ctrl+V. The clipboard keeps the text. done (optional) runs afterwards; nothing
     * runs once this manager is gone. A warning is logged when the target never asks
     * for the text within pasteConfirmTimeout.
     */
    void pasteText(const PasteboardManagerPasteItem& item, std::function<void()> done = {});

    /** Replaces the clipboard's content with text. */
    void copyToClipboard(const QString& text);

    [[nodiscard]] ClipboardProtocol& pasteboard() const { return m_pasteboard; }
    [[nodiscard]] KeyboardManagerProtocol& keyboardManager() const { return m_keyboardManager; }

private:
    struct Capture;
    void finishCapture(bool read);
    void watchPasteRequest();

    WindowTrackerProtocol& m_windowTracker;
    KeyboardManagerProtocol& m_keyboardManager;
    ClipboardProtocol& m_pasteboard;
    TimerSource& m_timers;
    std::chrono::milliseconds m_captureTimeout;
    std::shared_ptr<Capture> m_capture;
    std::unique_ptr<Timer> m_pasteWatch;
    QMetaObject::Connection m_pasteRequested;
};
