#include "widget/aidialogpresetactionsviewmodel.h"

#include "core/widgetpresenter.h"
#include "platform/pasteboardmanager.h"
#include "platform/windowtracker.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "store/presetdata.h"

AIDialogPresetActionsViewModel::AIDialogPresetActionsViewModel(Dependencies dependencies,
                                                               QObject* parent)
    : QAbstractListModel(parent)
    , m_presetStore(dependencies.presetStore)
    , m_presenter(dependencies.presenter)
    , m_windowTracker(dependencies.windowTracker)
    , m_hotkeys(dependencies.hotkeys)
    , m_pasteboardManager(dependencies.pasteboardManager)
    , m_deferred(dependencies.timers) {
    connect(&m_hotkeys, &Shortcuts::Registry::triggered, this, [this](const QString& name) {
        if (const std::optional<qint64> id = Shortcuts::Names::presetId(name))
            runPromptHotkey(*id);
    });
    QMetaObject::invokeMethod(this, &AIDialogPresetActionsViewModel::reloadPresets,
                              Qt::QueuedConnection);
}

int AIDialogPresetActionsViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_matches.size());
}

QVariant AIDialogPresetActionsViewModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const PresetEntry& entry = m_matches.at(index.row());
    switch (role) {
    case IdRole:
        return entry->id;
    case NameRole:
        return entry->preset.name;
    case HotkeyRole:
        return Shortcuts::HotkeyText::displayText(entry->preset.hotkey);
    default:
        return {};
    }
}

QHash<int, QByteArray> AIDialogPresetActionsViewModel::roleNames() const {
    return {{IdRole, "presetId"}, {NameRole, "name"}, {HotkeyRole, "hotkey"}};
}

void AIDialogPresetActionsViewModel::reloadPresets() {
    QList<PresetEntry> enabled;
    for (const PresetEntry& entry : m_presetStore.presets()) {
        if (entry->enabled)
            enabled.append(entry);
    }
    m_presets = enabled;
    // An edit keeps the entry's identity but changes its fields: always show anew.
    beginResetModel();
    m_matches = m_presets;
    endResetModel();
    registerPromptHotkeys();
}

void AIDialogPresetActionsViewModel::search(const QString& text) {
    if (text.isEmpty()) {
        setMatches(m_presets);
        return;
    }
    setCurrentIndex(-1);
    QList<PresetEntry> kept;
    for (const PresetEntry& entry : std::as_const(m_presets)) {
        if (entry->preset.name.contains(text, Qt::CaseInsensitive))
            kept.append(entry);
    }
    // Nothing matching shows everything again rather than an empty list.
    setMatches(kept.isEmpty() ? m_presets : kept);
}

void AIDialogPresetActionsViewModel::choose() {
    if (m_currentIndex < 0)
        Q_EMIT commandChosen();
    else if (m_currentIndex < m_matches.size())
        Q_EMIT chosen(m_matches.at(m_currentIndex)->id);
}

void AIDialogPresetActionsViewModel::selectNext() {
    const int count = int(m_matches.size());
    if (count == 0)
        setCurrentIndex(-1);
    else
        setCurrentIndex(
            m_currentIndex < 0 || m_currentIndex >= count ? 0 : (m_currentIndex + 1) % count);
}

void AIDialogPresetActionsViewModel::selectPrevious() {
    const int count = int(m_matches.size());
    if (count == 0)
        setCurrentIndex(-1);
    else if (m_currentIndex < 0 || m_currentIndex >= count)
        setCurrentIndex(count - 1);
    else
        setCurrentIndex((m_currentIndex + count - 1) % count);
}

void AIDialogPresetActionsViewModel::clickRow(int index) {
    if (index < 0 || index >= m_matches.size())
        return;
    setCurrentIndex(-1);
    m_deferred.after(clickDelay, [this, index] {
        if (index >= m_matches.size())
            return;
        setCurrentIndex(index);
        Q_EMIT chosen(m_matches.at(index)->id);
    });
}

// --- Prompt hotkeys ---------------------------------------------------------------

void AIDialogPresetActionsViewModel::registerPromptHotkeys() {
    QStringList listed;
    for (const PresetEntry& entry : std::as_const(m_presets)) {
        const std::optional<Shortcuts::Shortcut> shortcut =
            Shortcuts::HotkeyText::toShortcut(entry->preset.hotkey);
        // Stores the prompt's own key, or clears the name when it has none that parses.
        const Shortcuts::Name name =
            Shortcuts::Names::presetHotkey(entry->id, shortcut, entry->preset.name);
        m_hotkeys.resetToDefaults({name});
        m_hotkeys.bind(name, this);
        listed.append(name.rawValue());
    }
    // A prompt that was deleted or disabled keeps no hotkey.
    for (const QString& name : m_hotkeys.boundNames()) {
        if (Shortcuts::Names::presetId(name) && !listed.contains(name))
            m_hotkeys.unbind(name);
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
        Q_EMIT hotkeyAction(PresetOnly{id});
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
            Q_EMIT self->hotkeyAction(PresetChoice{id, *item, true});
            self->m_presenter.setPreviousApp(app);
        });
}

// --- Fields -----------------------------------------------------------------------

void AIDialogPresetActionsViewModel::setMatches(const QList<PresetEntry>& list) {
    if (list == m_matches)
        return;
    beginResetModel();
    m_matches = list;
    endResetModel();
}

void AIDialogPresetActionsViewModel::setCurrentIndex(int index) {
    if (index == m_currentIndex)
        return;
    m_currentIndex = index;
    Q_EMIT currentIndexChanged();
}
