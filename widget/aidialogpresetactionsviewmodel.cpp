#include "widget/aidialogpresetactionsviewmodel.h"

#include "core/maincoordinatorprotocol.h"
#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "platform/pasteboardmanager.h"
#include "platform/virtualkeys.h"
#include "platform/windowtracker.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "store/presetdata.h"

#include <QVariantMap>

namespace {
constexpr int keyN = 45;
constexpr int keyP = 35;
} // namespace

AIDialogPresetActionsViewModel::AIDialogPresetActionsViewModel(Dependencies dependencies,
                                                               QObject* parent)
    : QObject(parent)
    , m_coordinator(dependencies.coordinator)
    , m_windowTracker(dependencies.windowTracker)
    , m_pasteboardManager(dependencies.pasteboardManager)
    , m_deferred(dependencies.timers) {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(Notifications::promptsUpdated, this, [this](const QVariantMap&) {
        QMetaObject::invokeMethod(this, &AIDialogPresetActionsViewModel::reloadPresets,
                                  Qt::QueuedConnection);
    });
    center.addObserver(Notifications::promptCompleted, this,
                       [this](const QVariantMap&) { m_isPresetRunning = false; });
    center.addObserver(Notifications::updateHotkeysRequested, this,
                       [this](const QVariantMap&) { registerPromptHotkeys(m_presets); });
    QMetaObject::invokeMethod(this, &AIDialogPresetActionsViewModel::reloadPresets,
                              Qt::QueuedConnection);
}

std::function<void(PresetKeyInput)> AIDialogPresetActionsViewModel::onKeyInput() {
    return [self = QPointer(this)](const PresetKeyInput& input) {
        if (self)
            self->handleKeyInput(input);
    };
}

void AIDialogPresetActionsViewModel::handleKeyInput(const PresetKeyInput& input) {
    if (const auto* search = std::get_if<PresetSearch>(&input)) {
        this->search(search->text);
        return;
    }
    const auto& key = std::get<WidgetKeyEvent>(input);
    if (key.keyCode == VirtualKeys::returnKey)
        choose();
    else if (key.keyCode == VirtualKeys::downArrow ||
             (key.keyCode == keyN && key.has(ModifierFlags::control)))
        selectNext();
    else if (key.keyCode == VirtualKeys::upArrow ||
             (key.keyCode == keyP && key.has(ModifierFlags::control)))
        selectPrevious();
}

void AIDialogPresetActionsViewModel::reloadPresets() {
    QList<PresetEntry> enabled;
    for (const PresetEntry& entry : m_coordinator.getPresetStore().presets()) {
        if (entry->enabled)
            enabled.append(entry);
    }
    m_presets = enabled;
    setMatchesPresets(m_presets);
    registerPromptHotkeys(m_presets);
}

void AIDialogPresetActionsViewModel::search(const QString& text) {
    if (text.isEmpty()) {
        setMatchesPresets(m_presets);
        return;
    }
    setSelectedPresetIndex(std::nullopt);
    QList<PresetEntry> kept;
    for (const PresetEntry& entry : std::as_const(m_presets)) {
        if (entry->preset.name.contains(text, Qt::CaseInsensitive))
            kept.append(entry);
    }
    // Nothing matching shows everything again rather than an empty list.
    setMatchesPresets(kept.isEmpty() ? m_presets : kept);
}

void AIDialogPresetActionsViewModel::choose() {
    if (!m_selectedPresetIndex) {
        if (onPresetAction)
            onPresetAction(CommandChoice{});
        return;
    }
    if (*m_selectedPresetIndex >= 0 && *m_selectedPresetIndex < m_matchesPresets.size())
        choosePreset(m_matchesPresets.at(*m_selectedPresetIndex)->id);
}

void AIDialogPresetActionsViewModel::choosePreset(qint64 id) {
    if (onPresetAction)
        onPresetAction(PresetChoice{id, std::nullopt, false});
}

void AIDialogPresetActionsViewModel::selectNext() {
    const int count = int(m_matchesPresets.size());
    if (!m_selectedPresetIndex) {
        setSelectedPresetIndex(count > 0 ? std::optional<int>(0) : std::nullopt);
        return;
    }
    if (count == 0) {
        setSelectedPresetIndex(std::nullopt);
        return;
    }
    const int current = *m_selectedPresetIndex;
    setSelectedPresetIndex(current < 0 || current >= count ? 0 : (current + 1) % count);
}

void AIDialogPresetActionsViewModel::selectPrevious() {
    const int count = int(m_matchesPresets.size());
    if (count == 0) {
        setSelectedPresetIndex(std::nullopt);
        return;
    }
    if (!m_selectedPresetIndex) {
        setSelectedPresetIndex(count - 1);
        return;
    }
    const int current = *m_selectedPresetIndex;
    setSelectedPresetIndex(current < 0 || current >= count ? count - 1
                                                           : (current + count - 1) % count);
}

void AIDialogPresetActionsViewModel::clickRow(int index) {
    if (index < 0 || index >= m_matchesPresets.size())
        return;
    setSelectedPresetIndex(std::nullopt);
    m_deferred.after(clickDelay, [self = QPointer(this), index] {
        if (!self || index >= self->m_matchesPresets.size())
            return;
        self->setSelectedPresetIndex(index);
        self->choosePreset(self->m_matchesPresets.at(index)->id);
    });
}

// --- Prompt hotkeys -------------------------------------------------------------

void AIDialogPresetActionsViewModel::registerPromptHotkeys(const QList<PresetEntry>& list) {
    for (const PresetEntry& entry : list) {
        const qint64 id = entry->id;
        const std::optional<Shortcuts::Shortcut> shortcut =
            Shortcuts::HotkeyText::toShortcut(entry->preset.hotkey);
        // Stores the prompt's own key, or clears the name when it has none that parses.
        const Shortcuts::Name name = Shortcuts::Names::presetHotkey(id, shortcut);
        Shortcuts::resetToDefaults({name});
        if (shortcut) {
            Shortcuts::addKeyDownAction(name, [self = QPointer(this), id] {
                if (self)
                    self->runPromptHotkey(id);
            });
        }
    }
}

void AIDialogPresetActionsViewModel::runPromptHotkey(qint64 id) {
    if (m_isPresetRunning)
        return;
    const std::optional<RunningApp> frontmost = m_windowTracker.frontmostApp();
    if (!frontmost)
        return;
    if (m_windowTracker.isOwnApp(*frontmost)) {
        // The widget is in front: run the prompt on what it already holds.
        if (onPresetAction)
            onPresetAction(PresetOnly{id});
        return;
    }
    if (!m_pasteboardManager)
        return;
    // Held from the press on, so a second press during the capture starts nothing.
    m_isPresetRunning = true;
    m_pasteboardManager->copySelection(
        [self = QPointer(this), id](std::optional<RunningApp> app,
                                    std::optional<PasteboardManagerCopyItem> item) {
            if (!self)
                return;
            if (!item || item->text.isEmpty()) {
                self->m_isPresetRunning = false;
                return;
            }
            if (self->onPresetAction)
                self->onPresetAction(PresetChoice{id, *item, true});
            self->m_coordinator.setPreviousApp(app);
        });
}

// --- Fields ---------------------------------------------------------------------

QVariantList AIDialogPresetActionsViewModel::rows() const {
    QVariantList rows;
    for (const PresetEntry& entry : m_matchesPresets) {
        rows.append(QVariantMap{
            {QStringLiteral("id"), entry->id},
            {QStringLiteral("name"), entry->preset.name},
            {QStringLiteral("hotkey"), Shortcuts::HotkeyText::displayText(entry->preset.hotkey)}});
    }
    return rows;
}

void AIDialogPresetActionsViewModel::setMatchesPresets(const QList<PresetEntry>& list) {
    m_matchesPresets = list;
    Q_EMIT matchesPresetsChanged();
    updatePresetsToShow();
}

void AIDialogPresetActionsViewModel::updatePresetsToShow() {
    const int count = int(m_matchesPresets.size());
    const int shown = count > 9 ? maxPresetsToShow() : count;
    if (shown == m_presetsToShow)
        return;
    m_presetsToShow = shown;
    Q_EMIT presetsToShowChanged();
}

void AIDialogPresetActionsViewModel::setSelectedPresetIndex(std::optional<int> index) {
    if (index == m_selectedPresetIndex)
        return;
    m_selectedPresetIndex = index;
    Q_EMIT selectedPresetIndexChanged();
}
