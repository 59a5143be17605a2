#include "settings/recordercontrol.h"

#include "platform/virtualkeys.h"
#include "shortcuts/localeventmonitor.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformintegration.h>

namespace Shortcuts {

namespace {

QPointer<const QObject>& applicationMenu() {
    static QPointer<const QObject> menu;
    return menu;
}

RecorderControl::SystemCheck& systemCheck() {
    static RecorderControl::SystemCheck check;
    return check;
}

constexpr int f12 = 111;
constexpr int backspace = 51;
constexpr int forwardDelete = 117;

bool isFunctionKey(qint64 keyCode) {
    const auto key = VirtualKeys::info(static_cast<int>(keyCode));
    return key && key->qtKey >= Qt::Key_F1 && key->qtKey <= Qt::Key_F35;
}

/** The virtual key of a key event: by Qt key, else by the physical key (shifted symbols). */
std::optional<int> virtualKey(const QKeyEvent& event) {
    if (const auto code = VirtualKeys::fromQtKey(event.key()))
        return code;
    if (event.key() == Qt::Key_Backtab)
        return VirtualKeys::tab;
    for (int code = 0; code < 128; ++code) {
        const auto key = VirtualKeys::info(code);
        if (key && event.nativeScanCode() != 0 && key->positionalKeycode == event.nativeScanCode())
            return code;
    }
    return std::nullopt;
}

std::optional<QString> findInMenu(const QObject& menu, const QKeySequence& sequence) {
    for (const QAction* action : menu.findChildren<QAction*>()) {
        if (!action->isSeparator() && action->shortcut() == sequence)
            return action->text();
    }
    return std::nullopt;
}

} // namespace

RecorderControl::RecorderControl(Registry& registry, Name shortcutName, OnChange onChange,
                                 QObject* parent)
    : QObject(parent)
    , m_registry(registry)
    , m_onChange(std::move(onChange))
    , m_shortcutName(std::move(shortcutName)) {
    refreshText();
    connect(&m_registry, &Registry::changed, this, [this](const QString& name) {
        if (name == m_shortcutName.rawValue())
            refreshText();
    });
    connect(&m_registry, &Registry::pausedKeyPressed, this, [this](const Shortcut& shortcut) {
        if (m_eventMonitor && m_eventMonitor->isRunning())
            handleKey(static_cast<int>(shortcut.keyCode), shortcut.modifiers());
    });
}

RecorderControl::~RecorderControl() {
    if (m_eventMonitor)
        m_registry.setDeliveryPaused(false);
}

void RecorderControl::setShortcut(const std::optional<Shortcut>& shortcut) {
    m_registry.store(shortcut, m_shortcutName);
    refreshText();
}

void RecorderControl::setApplicationMenu(const QObject* menu) {
    applicationMenu() = menu;
}

void RecorderControl::setSystemCheck(SystemCheck check) {
    systemCheck() = std::move(check);
}

QString RecorderControl::displayText(const Shortcut& shortcut) {
    const Qt::KeyboardModifiers modifiers = ModifierFlags::toQt(shortcut.modifiers());
    const auto key = VirtualKeys::info(static_cast<int>(shortcut.keyCode));
    if (key)
        return QKeySequence(QKeyCombination(modifiers, Qt::Key(key->qtKey)))
            .toString(QKeySequence::NativeText);
    return QKeySequence(QKeyCombination(modifiers, Qt::Key_unknown))
               .toString(QKeySequence::NativeText) +
           QChar(0xFFFD);
}

std::optional<QString> RecorderControl::menuItemUsing(const Shortcut& shortcut) {
    const QObject* menu = applicationMenu();
    const auto key = VirtualKeys::info(static_cast<int>(shortcut.keyCode));
    if (!menu || !key)
        return std::nullopt;
    return findInMenu(*menu, QKeySequence(QKeyCombination(ModifierFlags::toQt(shortcut.modifiers()),
                                                          Qt::Key(key->qtKey))));
}

QString RecorderControl::placeholder() const {
    return isRecording() ? qtTrId("press_shortcut") : qtTrId("record_shortcut");
}

void RecorderControl::setShortcutName(const Name& name) {
    m_shortcutName = name;
    refreshText();
}

void RecorderControl::refreshText() {
    const auto shortcut = m_registry.shortcut(m_shortcutName);
    setText(shortcut ? displayText(*shortcut) : QString());
}

void RecorderControl::setText(const QString& text) {
    if (m_text == text)
        return;
    m_text = text;
    Q_EMIT textChanged();
}

void RecorderControl::setRecording(bool recording) {
    if (recording)
        startRecording();
    else
        endRecording();
}

void RecorderControl::startRecording() {
    if (m_eventMonitor)
        return;
    m_registry.setDeliveryPaused(true);
    QPointer<RecorderControl> self(this);
    m_eventMonitor = std::make_unique<LocalEventMonitor>(
        QList<QEvent::Type>{QEvent::KeyPress, QEvent::MouseButtonRelease},
        [self](QEvent* event) -> QEvent* {
            if (!self)
                return nullptr;
            return self->handleEvent(event) ? event : nullptr;
        });
    m_eventMonitor->start();
    Q_EMIT recordingChanged();
}

void RecorderControl::endRecording() {
    if (!m_eventMonitor)
        return;
    // Dropped later: this may run inside the monitor's own callback.
    m_eventMonitor.release()->deleteLater();
    m_registry.setDeliveryPaused(false);
    Q_EMIT recordingChanged();
}

void RecorderControl::clear() {
    setText(QString());
    m_registry.store(std::nullopt, m_shortcutName);
    if (m_onChange)
        m_onChange(std::nullopt);
    Q_EMIT focusRequested();
    startRecording();
}

void RecorderControl::alertDismissed() {
    Q_EMIT focusRequested();
    startRecording();
}

bool RecorderControl::handleEvent(QEvent* event) {
    if (!m_eventMonitor || !m_eventMonitor->isRunning())
        return true;
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)
            return false;
        if (m_bounds.contains(mouse->scenePosition()))
            return false;
        endRecording();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    return handleKey(*static_cast<QKeyEvent*>(event));
}

bool RecorderControl::handleKey(const QKeyEvent& event) {
    return handleKey(virtualKey(event), ModifierFlags::fromQt(event.modifiers()));
}

/** Whether the key goes on to the window: only Tab does, to move the focus. */
bool RecorderControl::handleKey(std::optional<int> keyCode, quint64 flags) {
    const bool noModifiers = flags == 0;

    if (noModifiers && keyCode == VirtualKeys::tab) {
        endRecording();
        Q_EMIT recordingEnded(true);
        return true;
    }
    if (noModifiers && keyCode == VirtualKeys::escape) {
        endRecording();
        Q_EMIT recordingEnded(false);
        return false;
    }
    if (noModifiers && (keyCode == backspace || keyCode == forwardDelete)) {
        clear();
        return false;
    }
    if (!keyCode)
        return false; // a lone modifier, or a key the models have no code for
    const bool usableModifier = (flags & ~ModifierFlags::shift) != 0;
    if (!usableModifier && !isFunctionKey(*keyCode)) {
        QGuiApplicationPrivate::platformIntegration()->beep();
        Q_EMIT beeped();
        return false;
    }

    const Shortcut candidate = Shortcut::fromKey(Key{*keyCode}, flags);
    if (const auto title = menuItemUsing(candidate)) {
        endRecording();
        QString message = qtTrId("keyboard_shortcut_used_by_menu_item");
        message =
            message.contains(QLatin1String("%1")) ? message.arg(*title) : message + u": " + *title;
        Q_EMIT alertRequested(message, QString());
        return false;
    }
    const bool exempt = *keyCode == f12 && noModifiers;
    if (!exempt && systemCheck() && systemCheck()(candidate)) {
        endRecording();
        Q_EMIT alertRequested(qtTrId("keyboard_shortcut_used_by_system"),
                              qtTrId("keyboard_shortcuts_can_be_changed"));
        return false;
    }

    setText(displayText(candidate));
    m_registry.store(candidate, m_shortcutName);
    if (m_onChange)
        m_onChange(candidate);
    endRecording();
    Q_EMIT recordingEnded(false);
    return false;
}

} // namespace Shortcuts
