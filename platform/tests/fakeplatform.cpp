#include "fakeplatform.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

void FakeWindowTracker::activate(const RunningApp& app, std::function<void(bool)> done) {
    activated.append(app.windowId);
    frontmost = app;
    if (done)
        QTimer::singleShot(0, QCoreApplication::instance(), [done] { done(true); });
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

void FakeClipboard::clear() {
    m_log.append(u"clear"_s);
    m_text.reset();
}

void FakeClipboard::setText(const QString& text) {
    m_log.append(u"write "_s + text);
    m_text = text;
}

void FakeClipboard::otherApplicationCopies(std::optional<QString> text) {
    m_text = std::move(text);
    Q_EMIT changedByOtherApp();
}

bool FakePermissionsManager::isTrusted(bool prompt) {
    if (prompt)
        ++prompts;
    return trusted;
}

bool FakeHotkeyGrabber::grab(quint32 id, int keyCode, quint64 flags) {
    requestedIds.append(id);
    if (takenByOthers.contains(Combination{keyCode, flags}))
        return false;
    grabs.emplace(id, Combination{keyCode, flags});
    return true;
}

bool FakeHotkeyGrabber::isTaken(int keyCode, quint64 flags) {
    return takenByOthers.contains(Combination{keyCode, flags});
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
    auto tracker = std::make_unique<FakeWindowTracker>();
    auto keyboard = std::make_unique<FakeKeyboardManager>(log);
    auto clip = std::make_unique<FakeClipboard>(log);
    auto permissions = std::make_unique<FakePermissionsManager>();
    auto grabber = std::make_unique<FakeHotkeyGrabber>();
    auto look = std::make_unique<FakeAppearance>();
    appearance = look.get();
    windowTracker = tracker.get();
    keyboardManager = keyboard.get();
    clipboard = clip.get();
    permissionsManager = permissions.get();
    hotkeyGrabber = grabber.get();
    backend.windowTracker = std::move(tracker);
    backend.keyboardManager = std::move(keyboard);
    backend.clipboard = std::move(clip);
    backend.permissionsManager = std::move(permissions);
    backend.hotkeyGrabber = std::move(grabber);
    backend.appearance = std::move(look);
}
