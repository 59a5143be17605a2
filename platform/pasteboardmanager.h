#pragma once

#include "core/runningapp.h"
#include "platform/capturerules.h"
#include "platform/clipboard.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

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
    /** The window has no selection to replace (a terminal): answers go in at its cursor. */
    bool pastesAtCursorOnly = false;
};

/** Text to paste back, with the window it is meant for (the caller activates it). */
struct PasteboardManagerPasteItem {
    QString text;
    std::optional<RunningApp> app;
    std::optional<TextRange> selectedRange;
};

/**
 * Takes the selection of the application in front and puts text back, leaving the
 * user's clipboard as it was. The selection comes from the primary selection when the
 * application in front owns it (no key is sent), from terminals only that way, and
 * otherwise by posting Ctrl+C and reading the clipboard once its owner changes. Text
 * goes back by serving it and posting the window's paste key. Both work asynchronously
 * on the main thread; the main thread never blocks.
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
    /** The longest wait for a copy, and the first one in a window class not seen before. */
    static constexpr std::chrono::milliseconds slowCopyBound{500};
    /** How long after the target's last request for the pasted text the clipboard comes back. */
    static constexpr std::chrono::milliseconds restoreDelay{200};
    /** Learned waits are written this long after the last copy, off the capture's path. */
    static constexpr std::chrono::seconds storeWaitsDelay{5};

    /** The shortest wait for the application to copy before a capture finds nothing. */
    void setCaptureTimeout(std::chrono::milliseconds timeout);
    [[nodiscard]] std::chrono::milliseconds captureTimeout() const { return m_captureTimeout; }
    [[nodiscard]] const CaptureWaits& captureWaits() const { return m_waits; }

    /**
     * Reads the primary selection when the window in front owns it or is a terminal;
     * otherwise keeps the clipboard, posts Ctrl+C once the user has let go of the
     * hotkey's modifiers, reads the clipboard as soon as another application owns it
     * and puts the kept content back. Finds nothing when no copy comes within the wait
     * learned for the window's class (never the old content); a copy that comes later,
     * up to slowCopyBound, still teaches the wait, is undone and is announced with
     * lateSelection. completion runs once,
     * always after this returns. A new capture ends a pending one, which then finds
     * nothing. Line breaks arrive as \n.
     */
    void copySelection(CopyCompletion completion);

    /**
     * Pastes item.text into the window that has the focus with its paste key (a
     * terminal's own), serving the text on the selection that key reads. The selection
     * gets its previous content back once the target has asked for the text, or
     * after pasteConfirmTimeout with a warning. done (optional) runs once the key went
     * out; nothing runs once this manager is gone.
     */
    void pasteText(const PasteboardManagerPasteItem& item, std::function<void()> done = {});

    /** Replaces the clipboard's content with text, for the user to keep. */
    void copyToClipboard(const QString& text);

    [[nodiscard]] ClipboardProtocol& pasteboard() const { return m_pasteboard; }
    [[nodiscard]] KeyboardManagerProtocol& keyboardManager() const { return m_keyboardManager; }

Q_SIGNALS:
    /** The latest capture found nothing in time, but its copy came after all. */
    void lateSelection(const PasteboardManagerCopyItem& item);

private:
    struct Capture;
    struct Restore;
    void readPrimary(const std::shared_ptr<Capture>& capture);
    void copyWithKeystroke(const std::shared_ptr<Capture>& capture);
    void postCopy(const std::shared_ptr<Capture>& capture);
    void copied(const std::shared_ptr<Capture>& capture);
    void complete(const std::shared_ptr<Capture>& capture,
                  std::optional<PasteboardManagerCopyItem> item);
    [[nodiscard]] static std::optional<PasteboardManagerCopyItem>
    itemOf(const Capture& capture, std::optional<QString> text);
    void endCapture();
    void restoreAfterPaste(Selection selection, ClipboardContent content);
    void restoreNow();
    void storeWaits();

    WindowTrackerProtocol& m_windowTracker;
    KeyboardManagerProtocol& m_keyboardManager;
    ClipboardProtocol& m_pasteboard;
    TimerSource& m_timers;
    std::chrono::milliseconds m_captureTimeout;
    CaptureWaits m_waits;
    std::unique_ptr<Timer> m_storeWaits;
    std::shared_ptr<Capture> m_capture;
    std::unique_ptr<Restore> m_restore;
};
