#include "shortcuts/shortcuts.h"

#include "core/logging.h"
#include "core/settingsstore.h"
#include "platform/virtualkeys.h"
#include "shortcuts/systemhotkeys.h"

#include <QSet>
#include <QVariant>

namespace Shortcuts {

namespace {
const QString presetPrefix = QStringLiteral("preset_hotkey_");
const QString promptAction = QStringLiteral("prompt:");
} // namespace

QString Name::storageKey() const {
    return QStringLiteral("Shortcuts_") + m_rawValue;
}

Name Names::windowHotkey(std::optional<Shortcut> defaultShortcut) {
    return Name(QStringLiteral("WindowHotkey"), defaultShortcut,
                QStringLiteral("Open Orvane with the selected text"));
}

Name Names::windowToggleHotkey() {
    return Name(
        QStringLiteral("WindowToggleHotkey"),
        Shortcut::fromKey(Key{VirtualKeys::x}, ModifierFlags::command | ModifierFlags::shift),
        QStringLiteral("Show or hide Orvane"));
}

Name Names::tempShortcut() {
    return Name(QStringLiteral("TempShortcut"));
}

Name Names::presetHotkey(qint64 presetId, std::optional<Shortcut> defaultShortcut,
                         const QString& promptName) {
    return Name(presetPrefix + QString::number(presetId), defaultShortcut,
                promptName.isEmpty() ? QString()
                                     : QStringLiteral("Run the prompt \u201c%1\u201d on the "
                                                      "selected text")
                                           .arg(promptName));
}

std::optional<qint64> Names::presetId(const QString& rawValue) {
    if (!rawValue.startsWith(presetPrefix))
        return std::nullopt;
    bool ok = false;
    const qint64 id = rawValue.mid(presetPrefix.size()).toLongLong(&ok);
    return ok ? std::optional(id) : std::nullopt;
}

QString Names::actionId(const QString& rawValue) {
    if (rawValue == windowHotkey().rawValue())
        return QStringLiteral("widget");
    if (rawValue == windowToggleHotkey().rawValue())
        return QStringLiteral("toggle");
    if (const std::optional<qint64> id = presetId(rawValue))
        return promptAction + QString::number(*id);
    return {};
}

std::optional<QString> Names::fromActionId(const QString& actionId) {
    if (actionId == QLatin1String("widget"))
        return windowHotkey().rawValue();
    if (actionId == QLatin1String("toggle"))
        return windowToggleHotkey().rawValue();
    if (!actionId.startsWith(promptAction))
        return std::nullopt;
    bool ok = false;
    const qint64 id = actionId.mid(promptAction.size()).toLongLong(&ok);
    return ok ? std::optional(presetHotkey(id).rawValue()) : std::nullopt;
}

Registry::Registry(SystemHotkeys* layer, QObject* parent)
    : QObject(parent)
    , m_layer(layer) {}

Registry::~Registry() {
    for (const Binding& binding : std::as_const(m_bindings))
        disconnect(binding.ends);
    if (m_layer) {
        for (auto it = m_grabs.cbegin(); it != m_grabs.cend(); ++it)
            m_layer->unregisterShortcut(it.key());
    }
}

std::optional<Shortcut> Registry::shortcut(const Name& name) const {
    const QVariant value = openSettingsStore()->value(name.storageKey());
    // A cleared name holds false, which is no shortcut.
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return Shortcut::fromJson(value.toString().toUtf8());
}

void Registry::store(const std::optional<Shortcut>& shortcut, const Name& name) {
    const std::unique_ptr<QSettings> settings = openSettingsStore();
    if (shortcut) {
        settings->setValue(name.storageKey(), QString::fromUtf8(shortcut->toJson()));
    } else {
        if (!this->shortcut(name))
            return;
        if (name.defaultShortcut())
            settings->setValue(name.storageKey(), false);
        else
            settings->remove(name.storageKey());
    }
    const bool bound = m_bindings.contains(name.rawValue());
    if (bound)
        syncGrabs(false);
    Q_EMIT changed(name.rawValue());
    if (bound)
        Q_EMIT bindingsChanged();
}

void Registry::resetToDefaults(const QList<Name>& names) {
    for (const Name& name : names)
        store(name.defaultShortcut(), name);
}

void Registry::bind(const Name& name, QObject* owner) {
    Binding& binding = m_bindings[name.rawValue()];
    disconnect(binding.ends);
    binding.owner = owner;
    binding.description = name.description();
    binding.ends =
        connect(owner, &QObject::destroyed, this, [this, raw = name.rawValue()] { unbind(raw); });
    // Binding again is how a refused grab is retried (the hourly refresh).
    syncGrabs(true);
    Q_EMIT bindingsChanged();
}

void Registry::unbind(const QString& name) {
    const auto it = m_bindings.find(name);
    if (it == m_bindings.end())
        return;
    disconnect(it->ends);
    m_bindings.erase(it);
    syncGrabs(false);
    Q_EMIT bindingsChanged();
}

QList<Registry::Bound> Registry::bound() const {
    QStringList names = m_bindings.keys();
    names.sort();
    QList<Bound> result;
    for (const QString& name : std::as_const(names))
        result.append(Bound{name, m_bindings.value(name).description, shortcut(Name(name))});
    return result;
}

bool Registry::activate(const QString& name) {
    if (m_paused || !m_bindings.contains(name))
        return false;
    Q_EMIT triggered(name);
    return true;
}

void Registry::syncGrabs(bool retry) {
    QSet<Shortcut> wanted;
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it) {
        if (const std::optional<Shortcut> held = shortcut(Name(it.key())))
            wanted.insert(*held);
    }
    for (auto it = m_grabs.begin(); it != m_grabs.end();) {
        if (wanted.contains(it.key()) && (it.value() || !retry)) {
            ++it;
            continue;
        }
        if (m_layer && it.value())
            m_layer->unregisterShortcut(it.key());
        it = m_grabs.erase(it);
    }
    for (const Shortcut& held : std::as_const(wanted)) {
        if (m_grabs.contains(held))
            continue;
        const bool accepted = m_layer && m_layer->registerShortcut(
                                             held, [this](const Shortcut& s) { deliver(s, true); },
                                             [this](const Shortcut& s) { deliver(s, false); });
        if (m_layer && !accepted)
            qCInfo(lcHotkeys, "The system refused hotkey %lld/%lld", held.keyCode,
                   held.hotkeyModifiers);
        // A refused grab is remembered too, so that each store does not ask again.
        m_grabs.insert(held, accepted);
    }
}

void Registry::deliver(const Shortcut& pressed, bool down) {
    if (m_paused) {
        if (down)
            Q_EMIT pausedKeyPressed(pressed);
        return;
    }
    // A copy: a receiver may bind or unbind.
    const QStringList names = m_bindings.keys();
    for (const QString& name : names) {
        if (!m_bindings.contains(name) || shortcut(Name(name)) != pressed)
            continue;
        if (down)
            Q_EMIT triggered(name);
        else
            Q_EMIT released(name);
    }
}

} // namespace Shortcuts
