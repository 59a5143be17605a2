#include "platform/pasteboardmanager.h"

#include "core/logging.h"
#include "core/settingsstore.h"
#include "core/timer.h"
#include "platform/keyboardmanager.h"
#include "platform/virtualkeys.h"
#include "platform/windowtracker.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

using namespace std::chrono;

struct PasteboardManager::Capture {
    CopyCompletion completion;
    std::optional<RunningApp> app;
    bool terminal = false;
    std::optional<ClipboardContent> saved;
    int awaited = 0; // the kept clipboard and the released modifiers, before the keystroke
    std::unique_ptr<Timer> wait;
    std::unique_ptr<Timer> bound;
    QMetaObject::Connection changed;
    QElapsedTimer sinceKeystroke;

    void stopListening() {
        QObject::disconnect(changed);
        wait.reset();
        bound.reset();
    }
};

struct PasteboardManager::Restore {
    Selection selection;
    ClipboardContent content;
    std::unique_ptr<Timer> quiet;
    std::unique_ptr<Timer> confirm;
    QMetaObject::Connection requested;
};

namespace {

/** Runs action from the event loop once interval is over: it may delete the timer. */
void startDeferred(Timer& timer, milliseconds interval, QObject* context,
                   std::function<void()> action) {
    timer.start(interval, Timer::Mode::SingleShot,
                [context = QPointer(context), action = std::move(action)] {
                    if (context)
                        QTimer::singleShot(0, context.data(), action);
                });
}

} // namespace

PasteboardManager::PasteboardManager(WindowTrackerProtocol& windowTracker,
                                     KeyboardManagerProtocol& keyboardManager,
                                     ClipboardProtocol& pasteboard, TimerSource& timers,
                                     QObject* parent)
    : QObject(parent)
    , m_windowTracker(windowTracker)
    , m_keyboardManager(keyboardManager)
    , m_pasteboard(pasteboard)
    , m_timers(timers)
    , m_captureTimeout(defaultCaptureTimeout())
    , m_waits(m_captureTimeout, slowCopyBound)
    , m_storeWaits(timers.createTimer()) {
    m_waits.restore(openSettingsStore()->value(CaptureRules::captureWaitsKey).toStringList());
}

PasteboardManager::~PasteboardManager() {
    if (m_storeWaits->isActive())
        storeWaits();
    if (m_capture)
        m_capture->stopListening();
    if (m_restore)
        disconnect(m_restore->requested);
}

milliseconds PasteboardManager::defaultCaptureTimeout() {
    bool ok = false;
    const int configured = qEnvironmentVariableIntValue("ORVANE_CAPTURE_TIMEOUT_MS", &ok);
    return milliseconds(ok && configured > 0 ? configured : 100);
}

void PasteboardManager::setCaptureTimeout(milliseconds timeout) {
    m_captureTimeout = timeout;
    m_waits.setBase(timeout);
}

void PasteboardManager::copySelection(CopyCompletion completion) {
    endCapture();
    // A paste's clipboard still waiting to come back is the one to keep.
    restoreNow();

    auto capture = std::make_shared<Capture>();
    capture->completion = std::move(completion);
    capture->app = m_windowTracker.frontmostApp();
    m_capture = capture;
    if (!capture->app) {
        QTimer::singleShot(0, this, [self = QPointer(this), capture] {
            if (self)
                self->complete(capture, std::nullopt);
        });
        return;
    }
    capture->terminal = CaptureRules::isTerminal(capture->app->windowClass);
    const std::optional<qint64> owner = m_pasteboard.ownerProcess(Selection::primary);
    const bool ownsPrimary = owner && *owner == capture->app->processId;
    // A terminal's selection is in the primary selection or nowhere; one that does not
    // say its process gets the benefit of the doubt.
    if (ownsPrimary || (capture->terminal && (!owner || capture->app->processId == 0)))
        readPrimary(capture);
    else if (capture->terminal)
        QTimer::singleShot(0, this, [self = QPointer(this), capture] {
            if (self)
                self->complete(capture, std::nullopt);
        });
    else
        copyWithKeystroke(capture);
}

void PasteboardManager::readPrimary(const std::shared_ptr<Capture>& capture) {
    m_pasteboard.readText(Selection::primary,
                          [self = QPointer(this), capture](std::optional<QString> text) {
                              if (!self || !capture->completion)
                                  return;
                              if ((text && !text->isEmpty()) || capture->terminal)
                                  self->complete(capture, itemOf(*capture, std::move(text)));
                              else
                                  self->copyWithKeystroke(capture);
                          });
}

void PasteboardManager::copyWithKeystroke(const std::shared_ptr<Capture>& capture) {
    const QPointer<PasteboardManager> self(this);
    const std::weak_ptr<Capture> weak = capture;
    capture->awaited = 2;
    const auto ready = [self, weak] {
        const std::shared_ptr<Capture> capture = weak.lock();
        if (self && capture && capture->completion && --capture->awaited == 0)
            self->postCopy(capture);
    };
    m_pasteboard.save(Selection::clipboard, [weak, ready](ClipboardContent content) {
        if (const std::shared_ptr<Capture> capture = weak.lock())
            capture->saved = std::move(content);
        ready();
    });
    m_keyboardManager.whenModifiersReleased(ready);
}

void PasteboardManager::postCopy(const std::shared_ptr<Capture>& capture) {
    const QPointer<PasteboardManager> self(this);
    const std::weak_ptr<Capture> weak = capture;
    // Listen before posting, so that even a quick copy is seen. The owner changing is
    // the copy: the clipboard is never emptied to tell.
    capture->changed =
        connect(&m_pasteboard, &ClipboardProtocol::changedByOtherApp, this, [self, weak] {
            if (const std::shared_ptr<Capture> capture = weak.lock())
                self->copied(capture);
        });
    capture->wait = m_timers.createTimer();
    startDeferred(*capture->wait, m_waits.waitFor(capture->app->windowClass), this, [self, weak] {
        if (const std::shared_ptr<Capture> capture = weak.lock())
            self->complete(capture, std::nullopt);
    });
    capture->bound = m_timers.createTimer();
    startDeferred(*capture->bound, m_waits.bound(), this, [weak] {
        if (const std::shared_ptr<Capture> capture = weak.lock())
            capture->stopListening();
    });
    capture->sinceKeystroke.start();
    m_keyboardManager.postKeystroke(VirtualKeys::c, ModifierFlags::command);
}

void PasteboardManager::copied(const std::shared_ptr<Capture>& capture) {
    capture->stopListening();
    m_waits.record(capture->app->windowClass, milliseconds(capture->sinceKeystroke.elapsed()));
    // A settings write syncs to disk: it waits until the user is done capturing.
    m_storeWaits->start(storeWaitsDelay, Timer::Mode::SingleShot, [this] { storeWaits(); });
    m_pasteboard.readText(
        Selection::clipboard, [self = QPointer(this), capture](std::optional<QString> text) {
            if (!self)
                return;
            if (capture->saved)
                self->m_pasteboard.restore(Selection::clipboard, *capture->saved);
            const bool late = !capture->completion;
            std::optional<PasteboardManagerCopyItem> item = itemOf(*capture, std::move(text));
            if (!late)
                self->complete(capture, std::move(item));
            else if (item && !item->text.isEmpty() && self->m_capture == capture)
                Q_EMIT self->lateSelection(*item);
        });
}

std::optional<PasteboardManagerCopyItem> PasteboardManager::itemOf(const Capture& capture,
                                                                   std::optional<QString> text) {
    if (!text || !capture.app)
        return std::nullopt;
    return PasteboardManagerCopyItem{*capture.app, withUnixLineEndings(*text), std::nullopt,
                                     capture.terminal};
}

void PasteboardManager::storeWaits() {
    m_storeWaits->stop();
    openSettingsStore()->setValue(CaptureRules::captureWaitsKey, m_waits.toStored());
}

void PasteboardManager::complete(const std::shared_ptr<Capture>& capture,
                                 std::optional<PasteboardManagerCopyItem> item) {
    CopyCompletion completion = std::exchange(capture->completion, nullptr);
    if (completion)
        completion(capture->app, std::move(item));
}

void PasteboardManager::endCapture() {
    const std::shared_ptr<Capture> capture = std::exchange(m_capture, nullptr);
    if (!capture)
        return;
    capture->stopListening();
    complete(capture, std::nullopt);
}

void PasteboardManager::pasteText(const PasteboardManagerPasteItem& item,
                                  std::function<void()> done) {
    restoreNow();
    const QString windowClass = item.app ? item.app->windowClass : QString();
    const CaptureRules::PasteKey key =
        CaptureRules::pasteKey(windowClass, CaptureRules::isTerminal(windowClass));
    struct Pending {
        int awaited = 2;
        std::optional<ClipboardContent> saved;
    };
    auto pending = std::make_shared<Pending>();
    const auto ready = [self = QPointer(this), pending, key, text = item.text, done] {
        if (!self || --pending->awaited > 0)
            return;
        self->m_pasteboard.serveText(text, key.selection);
        if (pending->saved)
            self->restoreAfterPaste(key.selection, *pending->saved);
        self->m_keyboardManager.postKeystroke(key.keyCode, key.flags);
        if (done)
            done();
    };
    m_pasteboard.save(key.selection, [pending, ready](ClipboardContent content) {
        pending->saved = std::move(content);
        ready();
    });
    m_keyboardManager.whenModifiersReleased(ready);
}

void PasteboardManager::restoreAfterPaste(Selection selection, ClipboardContent content) {
    m_restore = std::make_unique<Restore>(
        Restore{selection, std::move(content), nullptr, m_timers.createTimer(), {}});
    Restore& restore = *m_restore;
    // The target asks for the text (perhaps in several formats) once it pastes: give the
    // content back when it has stopped asking, or a little later if others keep asking.
    restore.requested = connect(&m_pasteboard, &ClipboardProtocol::dataRequested, this, [this] {
        if (!m_restore->quiet) {
            m_restore->quiet = m_timers.createTimer();
            startDeferred(*m_restore->confirm, restoreDelay * 5, this, [this] { restoreNow(); });
        }
        startDeferred(*m_restore->quiet, restoreDelay, this, [this] { restoreNow(); });
    });
    startDeferred(*restore.confirm, pasteConfirmTimeout, this, [this] {
        qCWarning(lcApplication, "The paste target did not ask for the text within %lld s",
                  static_cast<long long>(pasteConfirmTimeout.count()));
        restoreNow();
    });
}

void PasteboardManager::restoreNow() {
    const std::unique_ptr<Restore> restore = std::move(m_restore);
    if (!restore)
        return;
    disconnect(restore->requested);
    m_pasteboard.restore(restore->selection, restore->content);
}

void PasteboardManager::copyToClipboard(const QString& text) {
    restoreNow();
    m_pasteboard.setText(text);
}
