#include "shortcuts/shortcuts.h"

#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "core/settingsstore.h"
#include "platform/virtualkeys.h"
#include "shortcuts/systemhotkeys.h"

#include <QHash>
#include <QSet>
#include <QVariant>

namespace Shortcuts {

namespace {

struct Actions {
    Name name;
    QList<Action> keyDown;
    QList<Action> keyUp;
};

// Process-wide, main thread only, as the hotkey layer below it.
struct State {
    SystemHotkeys* layer = nullptr;
    QSet<Shortcut> registered;
    QList<Actions> actions;
    bool deliveryPaused = false;
    std::function<void(const Shortcut&)> pausedKeyDownHandler;
};

State& state() {
    static State instance;
    return instance;
}

Actions& actionsFor(const Name& name) {
    QList<Actions>& all = state().actions;
    for (Actions& entry : all) {
        if (entry.name == name)
            return entry;
    }
    all.append(Actions{name, {}, {}});
    return all.last();
}

void registerIfNeeded(const Shortcut& shortcut) {
    State& s = state();
    if (!s.layer || s.registered.contains(shortcut))
        return;
    // A refused registration still counts as registered, so it is not retried on
    // every store; the next re-registration of the hotkeys tries again.
    s.layer->registerShortcut(shortcut, dispatchKeyDown, dispatchKeyUp);
    s.registered.insert(shortcut);
}

void unregister(const Shortcut& shortcut) {
    State& s = state();
    if (s.layer)
        s.layer->unregisterShortcut(shortcut);
    s.registered.remove(shortcut);
}

void postChange(const Name& name) {
    NotificationCenter::defaultCenter().post(Notifications::shortcutByNameDidChange,
                                             {{QStringLiteral("name"), name.rawValue()}});
}

void dispatch(const Shortcut& shortcut, bool keyDown) {
    if (state().deliveryPaused) {
        if (keyDown && state().pausedKeyDownHandler) {
            auto handler = state().pausedKeyDownHandler; // it may replace itself
            handler(shortcut);
        }
        return;
    }
    // Copies: an action may add actions or change shortcuts.
    const QList<Actions> all = state().actions;
    for (const Actions& entry : all) {
        const QList<Action>& list = keyDown ? entry.keyDown : entry.keyUp;
        if (list.isEmpty() || shortcutForName(entry.name) != shortcut)
            continue;
        for (const Action& action : list)
            action();
    }
}

} // namespace

Name::Name(QString rawValue, std::optional<Shortcut> defaultShortcut)
    : m_rawValue(std::move(rawValue))
    , m_defaultShortcut(defaultShortcut) {
    if (m_defaultShortcut && !openSettingsStore()->contains(storageKey()))
        storeShortcut(m_defaultShortcut, *this);
}

QString Name::storageKey() const {
    return QStringLiteral("Shortcuts_") + m_rawValue;
}

Name Names::windowHotkey(std::optional<Shortcut> defaultShortcut) {
    return Name(QStringLiteral("WindowHotkey"), defaultShortcut);
}

Name Names::windowToggleHotkey() {
    return Name(
        QStringLiteral("WindowToggleHotkey"),
        Shortcut::fromKey(Key{VirtualKeys::x}, ModifierFlags::command | ModifierFlags::shift));
}

Name Names::tempShortcut() {
    return Name(QStringLiteral("TempShortcut"));
}

Name Names::presetHotkey(qint64 presetId, std::optional<Shortcut> defaultShortcut) {
    return Name(QStringLiteral("preset_hotkey_") + QString::number(presetId), defaultShortcut);
}

void setSystemHotkeys(SystemHotkeys* layer) {
    state().layer = layer;
    state().registered.clear();
}

std::optional<Shortcut> shortcutForName(const Name& name) {
    const QVariant value = openSettingsStore()->value(name.storageKey());
    // A cleared name holds false, which is no shortcut.
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return Shortcut::fromJson(value.toString().toUtf8());
}

void storeShortcut(const std::optional<Shortcut>& shortcut, const Name& name) {
    const std::optional<Shortcut> old = shortcutForName(name);
    if (shortcut) {
        const QByteArray json = shortcut->toJson();
        if (json.isEmpty())
            return;
        if (old)
            unregister(*old);
        registerIfNeeded(*shortcut);
        openSettingsStore()->setValue(name.storageKey(), QString::fromUtf8(json));
    } else {
        if (!old)
            return;
        if (name.defaultShortcut())
            openSettingsStore()->setValue(name.storageKey(), false);
        else
            openSettingsStore()->remove(name.storageKey());
        unregister(*old);
    }
    postChange(name);
}

void resetToDefaults(const QList<Name>& names) {
    for (const Name& name : names)
        storeShortcut(name.defaultShortcut(), name);
}

void addKeyDownAction(const Name& name, Action action) {
    actionsFor(name).keyDown.append(std::move(action));
    if (const std::optional<Shortcut> shortcut = shortcutForName(name))
        registerIfNeeded(*shortcut);
}

void addKeyUpAction(const Name& name, Action action) {
    actionsFor(name).keyUp.append(std::move(action));
    if (const std::optional<Shortcut> shortcut = shortcutForName(name))
        registerIfNeeded(*shortcut);
}

void setDeliveryPaused(bool paused) {
    state().deliveryPaused = paused;
}

void setPausedKeyDownHandler(std::function<void(const Shortcut&)> handler) {
    state().pausedKeyDownHandler = std::move(handler);
}

bool deliveryPaused() {
    return state().deliveryPaused;
}

void dispatchKeyDown(const Shortcut& shortcut) {
    dispatch(shortcut, true);
}

void dispatchKeyUp(const Shortcut& shortcut) {
    dispatch(shortcut, false);
}

} // namespace Shortcuts
