#include "platform/pasteboardmanager.h"

#include "core/logging.h"
#include "core/timer.h"
#include "platform/clipboard.h"
#include "platform/keyboardmanager.h"
#include "platform/virtualkeys.h"
#include "platform/windowtracker.h"

#include <QPointer>
#include <QTimer>

struct PasteboardManager::Capture {
    CopyCompletion completion;
    std::optional<RunningApp> app;
    std::unique_ptr<Timer> timeout;
    QMetaObject::Connection changed;
};

PasteboardManager::PasteboardManager(WindowTrackerProtocol& windowTracker,
                                     KeyboardManagerProtocol& keyboardManager,
                                     ClipboardProtocol& pasteboard, TimerSource& timers,
                                     QObject* parent)
    : QObject(parent)
    , m_windowTracker(windowTracker)
    , m_keyboardManager(keyboardManager)
    , m_pasteboard(pasteboard)
    , m_timers(timers)
    , m_captureTimeout(defaultCaptureTimeout()) {}

PasteboardManager::~PasteboardManager() {
    if (m_capture)
        disconnect(m_capture->changed);
    disconnect(m_pasteRequested);
}

std::chrono::milliseconds PasteboardManager::defaultCaptureTimeout() {
    bool ok = false;
    const int configured = qEnvironmentVariableIntValue("ORVANE_CAPTURE_TIMEOUT_MS", &ok);
    return std::chrono::milliseconds(ok && configured > 0 ? configured : 100);
}

void PasteboardManager::copySelection(CopyCompletion completion) {
    if (m_capture)
        finishCapture(false);

    auto capture = std::make_shared<Capture>();
    capture->completion = std::move(completion);
    capture->app = m_windowTracker.frontmostApp();
    m_capture = capture;
    const QPointer<PasteboardManager> self(this);

    if (!capture->app) {
        QTimer::singleShot(0, this, [self, capture] {
            if (self && self->m_capture == capture)
                self->finishCapture(false);
        });
        return;
    }

    m_pasteboard.clear();
    m_keyboardManager.whenModifiersReleased([self, capture] {
        if (!self || self->m_capture != capture)
            return;
        // Listen before posting, so that even a quick copy is seen.
        capture->changed = connect(&self->m_pasteboard, &ClipboardProtocol::changedByOtherApp, self,
                                   [self] { self->finishCapture(true); });
        capture->timeout = self->m_timers.createTimer();
        const std::weak_ptr<Capture> weak = capture;
        capture->timeout->start(self->m_captureTimeout, Timer::Mode::SingleShot, [self, weak] {
            // Finished from the event loop: finishing deletes this timer.
            QTimer::singleShot(0, self.data(), [self, weak] {
                if (self && self->m_capture && self->m_capture == weak.lock())
                    self->finishCapture(false);
            });
        });
        self->m_keyboardManager.postKeystroke(VirtualKeys::c, ModifierFlags::command);
    });
}

void PasteboardManager::finishCapture(bool read) {
    const std::shared_ptr<Capture> capture = std::exchange(m_capture, nullptr);
    if (!capture)
        return;
    disconnect(capture->changed);
    capture->timeout.reset();

    std::optional<PasteboardManagerCopyItem> item;
    if (read && capture->app) {
        if (const std::optional<QString> text = m_pasteboard.text())
            item = PasteboardManagerCopyItem{*capture->app, *text, std::nullopt};
    }
    if (capture->completion)
        capture->completion(capture->app, std::move(item));
}

void PasteboardManager::pasteText(const PasteboardManagerPasteItem& item,
                                  std::function<void()> done) {
    const QPointer<PasteboardManager> self(this);
    m_keyboardManager.whenModifiersReleased([self, text = item.text, done] {
        if (!self)
            return;
        self->m_pasteboard.setText(text);
        self->watchPasteRequest();
        self->m_keyboardManager.postKeystroke(VirtualKeys::v, ModifierFlags::command);
        if (done)
            done();
    });
}

void PasteboardManager::watchPasteRequest() {
    disconnect(m_pasteRequested);
    m_pasteRequested = connect(&m_pasteboard, &ClipboardProtocol::dataRequested, this, [this] {
        disconnect(m_pasteRequested);
        m_pasteWatch.reset();
    });
    m_pasteWatch = m_timers.createTimer();
    m_pasteWatch->start(pasteConfirmTimeout, Timer::Mode::SingleShot, [this] {
        disconnect(m_pasteRequested);
        qCWarning(lcApplication, "The paste target did not ask for the text within %lld s",
                  static_cast<long long>(pasteConfirmTimeout.count()));
    });
}

void PasteboardManager::copyToClipboard(const QString& text) {
    m_pasteboard.clear();
    m_pasteboard.setText(text);
}
