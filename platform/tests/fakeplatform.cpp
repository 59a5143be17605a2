#include "fakeplatform.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

void FakeWindowTracker::activate(const RunningApp& app, std::function<void(bool)> done) {
    activated.append(app.windowId);
    const bool comes = !unresponsive.contains(app.windowId);
    if (comes)
        frontmost = app;
    if (done)
        QTimer::singleShot(0, QCoreApplication::instance(), [done, comes] { done(comes); });
}

bool FakeWindowTracker::isOwnApp(const RunningApp& app) const {
    return app.processId == QCoreApplication::applicationPid();
}

void FakeKeyboardManager::postKeystroke(int keyCode, quint64 flags) {
    m_log.append(u"key %1 %2"_s.arg(keyCode).arg(flags, 0, 16));
    if (onKeystroke)
        onKeystroke(keyCode, flags);
}

void FakeKeyboardManager::whenModifiersReleased(std::function<void()> ready) {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(ready));
}

void FakeClipboard::serveText(const QString& text, Selection selection) {
    m_log.append((selection == Selection::primary ? u"write primary "_s : u"write "_s) + text);
    content(selection) = text;
}

void FakeClipboard::readText(Selection selection,
                             std::function<void(std::optional<QString>)> done) const {
    const std::optional<QString> found = selection == Selection::primary ? primary : m_text;
    QTimer::singleShot(0, this, [done = std::move(done), found] { done(found); });
}

void FakeClipboard::save(Selection selection, std::function<void(ClipboardContent)> done) const {
    const std::optional<QString> found = selection == Selection::primary ? primary : m_text;
    ClipboardContent saved{found.has_value(), {}};
    if (found)
        saved.formats.append({"text/plain", found->toUtf8()});
    QTimer::singleShot(0, this, [done = std::move(done), saved] { done(saved); });
}

void FakeClipboard::restore(Selection selection, const ClipboardContent& saved) {
    content(selection) =
        saved.owned ? std::optional(QString::fromUtf8(saved.data("text/plain"))) : std::nullopt;
}

bool FakeHotkeyGrabber::grab(quint32 id, int keyCode, quint64 flags) {
    if (isTaken(keyCode, flags))
        return false;
    grabs.emplace(id, Combination{keyCode, flags});
    return true;
}

void FakeHotkeyGrabber::press(int keyCode, quint64 flags, bool pressed) {
    QList<quint32> ids;
    for (const auto& [id, combination] : grabs) {
        if (combination == Combination{keyCode, flags})
            ids.append(id);
    }
    for (quint32 id : ids) {
        if (m_handler)
            m_handler(id, pressed, 0);
    }
}

FakePlatform::FakePlatform() {
    // The backend owns the fakes; the test keeps typed pointers to them.
    backend.windowTracker.reset(windowTracker = new FakeWindowTracker);
    backend.keyboardManager.reset(keyboardManager = new FakeKeyboardManager(log));
    backend.clipboard.reset(clipboard = new FakeClipboard(log));
    backend.permissionsManager = std::make_unique<FakePermissionsManager>();
    backend.hotkeyGrabber.reset(hotkeyGrabber = new FakeHotkeyGrabber);
    backend.appearance = std::make_unique<FakeAppearance>();
}
