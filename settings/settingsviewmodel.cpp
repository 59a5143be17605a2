#include "settings/settingsviewmodel.h"

#include "core/timer.h"
#include "settings/recordercontrol.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>

using namespace std::chrono_literals;

SettingsViewModel::SettingsViewModel(PresetStoreProtocol& store, Shortcuts::Registry& hotkeys,
                                     TimerSource& timers, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_globalPrompts(new SettingsPromptListModel(this))
    , m_userPrompts(new SettingsPromptListModel(this))
    , m_currentPrompt(blankTemplate())
    , m_sentTimer(timers.createTimer()) {
    for (SettingsPromptListModel* list : {m_globalPrompts, m_userPrompts}) {
        connect(list, &SettingsPromptListModel::chosen, this,
                qOverload<qint64>(&SettingsViewModel::selectPrompt));
        connect(list, &SettingsPromptListModel::toggled, this, &SettingsViewModel::togglePrompt);
    }
    connect(this, &SettingsViewModel::currentPromptChanged, this, [this] {
        m_globalPrompts->setSelectedId(m_currentPrompt->id);
        m_userPrompts->setSelectedId(m_currentPrompt->id);
    });
    connect(&m_store, &PresetStoreProtocol::changed, this, &SettingsViewModel::scheduleLoadPrompts);
    QPointer<SettingsViewModel> self(this);
    m_hotkeyRecorder = new Shortcuts::RecorderControl(
        hotkeys, Shortcuts::Names::tempShortcut(),
        [self](const std::optional<Shortcuts::Shortcut>& shortcut) {
            if (self)
                self->hotkeyChanged(shortcut);
        },
        this);
    m_hotkeyRecorder->setShortcut(std::nullopt);
    loadPrompts();
}

SettingsViewModel::~SettingsViewModel() = default;

QString SettingsViewModel::rawValue(FormState state) {
    switch (state) {
    case FormState::idle:
        return QStringLiteral("Prompts");
    case FormState::adding:
        return QStringLiteral("Adding");
    case FormState::sending:
        return QStringLiteral("Sending");
    case FormState::sent:
        return QStringLiteral("Sent");
    }
    return {};
}

PresetEntry SettingsViewModel::blankTemplate(const QString& name) {
    PresetDto preset;
    preset.id = -1;
    preset.name = name;
    return std::make_shared<PresetData>(preset, true, false);
}

void SettingsViewModel::scheduleLoadPrompts() {
    QMetaObject::invokeMethod(this, &SettingsViewModel::loadPrompts, Qt::QueuedConnection);
}

void SettingsViewModel::loadPrompts() {
    setFormState(FormState::idle);
    m_prompts = m_store.presets();
    QList<PresetEntry> standard;
    QList<PresetEntry> own;
    for (const PresetEntry& entry : std::as_const(m_prompts))
        (entry->preset.global ? standard : own).append(entry);
    m_globalPrompts->setEntries(standard);
    m_userPrompts->setEntries(own);

    // A reload (a toggle, the hourly refresh, another window's save) never takes away
    // what the user is typing: unsaved edits of a prompt that still exists stay.
    if (m_isPromptChanged) {
        if (const auto stored = entryWithId(m_currentPrompt->id)) {
            m_selectedPrompt = stored;
            m_currentPrompt->enabled = (*stored)->enabled;
            Q_EMIT currentPromptChanged();
            return;
        }
    }
    if (m_promptNameToSelect) {
        for (const PresetEntry& entry : std::as_const(m_prompts)) {
            if (entry->preset.name == *m_promptNameToSelect) {
                setSelectedPrompt(entry);
                return;
            }
        }
    }
    if (!globalPrompts().isEmpty())
        setSelectedPrompt(globalPrompts().first());
}

void SettingsViewModel::setSelectedPrompt(const std::optional<PresetEntry>& entry) {
    selectPrompt(entry);
    m_selectedPrompt = entry;
    storeInitialValues();
}

void SettingsViewModel::selectPrompt(const std::optional<PresetEntry>& entry) {
    m_currentPrompt = entry ? std::make_shared<PresetData>(**entry) : blankTemplate();
    m_isPromptSelected = m_currentPrompt->preset.id >= 1;
    setShowTooltipError(false);
    m_disablePromptEdit = (entry && (*entry)->preset.global) || !m_isPromptSelected;
    detectChanges();
    Q_EMIT currentPromptChanged();
    // The recorder shows the prompt's hotkey through the scratch slot.
    const auto shortcut =
        entry ? Shortcuts::HotkeyText::toShortcut((*entry)->preset.hotkey) : std::nullopt;
    m_hotkeyRecorder->setShortcut(shortcut);
}

void SettingsViewModel::storeInitialValues() {
    setIsPromptChanged(false);
    const PresetDto& preset = m_currentPrompt->preset;
    m_initialPresetName = preset.name;
    m_initialUserMessage = preset.userMessage;
    m_initialSystemMessage = preset.systemMessage;
    m_initialTemperature = preset.temperature;
    m_initialHotkey = preset.hotkey;
}

void SettingsViewModel::detectChanges() {
    const PresetDto& preset = m_currentPrompt->preset;
    const bool changed =
        (m_initialPresetName && preset.name != *m_initialPresetName) ||
        (m_initialUserMessage && preset.userMessage != *m_initialUserMessage) ||
        (m_initialSystemMessage && preset.systemMessage != *m_initialSystemMessage) ||
        (m_initialTemperature && preset.temperature != *m_initialTemperature);
    // A differing hotkey is decided by hotkeyChanged alone.
    if (m_initialHotkey && preset.hotkey == *m_initialHotkey)
        setIsPromptChanged(changed);
}

void SettingsViewModel::editCurrentPrompt(const std::function<void(PresetDto&)>& edit) {
    edit(m_currentPrompt->preset);
    detectChanges();
    Q_EMIT currentPromptChanged();
}

void SettingsViewModel::hotkeyChanged(const std::optional<Shortcuts::Shortcut>& shortcut) {
    if (!m_isPromptSelected)
        return;
    if (!shortcut) {
        editCurrentPrompt([](PresetDto& preset) { preset.hotkey = QString(); });
        if (m_initialHotkey)
            setIsPromptChanged(true);
        return;
    }
    const QString text = Shortcuts::HotkeyText::fromShortcut(*shortcut);
    for (const PresetEntry& entry : m_store.presets()) {
        if (entry->preset.hotkey == text && entry->id != m_currentPrompt->id) {
            setIsPromptChanged(false);
            setShowTooltipError(true);
            return;
        }
    }
    setShowTooltipError(false);
    editCurrentPrompt([&text](PresetDto& preset) { preset.hotkey = text; });
    if (m_initialHotkey && *m_initialHotkey != text) {
        setIsPromptChanged(true);
        return;
    }
    const PresetDto& preset = m_currentPrompt->preset;
    if (m_initialPresetName && m_initialUserMessage && m_initialSystemMessage &&
        m_initialTemperature && preset.name == *m_initialPresetName &&
        preset.userMessage == *m_initialUserMessage &&
        preset.systemMessage == *m_initialSystemMessage &&
        preset.temperature == *m_initialTemperature)
        setIsPromptChanged(false);
}

std::optional<PresetEntry> SettingsViewModel::entryWithId(qint64 id) const {
    for (const PresetEntry& entry : m_prompts) {
        if (entry->id == id)
            return entry;
    }
    return std::nullopt;
}

void SettingsViewModel::selectPrompt(qint64 id) {
    if (const auto entry = entryWithId(id))
        setSelectedPrompt(entry);
}

void SettingsViewModel::togglePrompt(qint64 id) {
    if (const auto entry = entryWithId(id))
        setToggledPreset(*entry);
}

void SettingsViewModel::setToggledPreset(const PresetEntry& entry) {
    m_toggledPreset = entry;
    m_promptNameToSelect = entry->preset.name;
    m_store.togglePreset(entry);
}

void SettingsViewModel::addPrompt() {
    m_store.createPreset(blankTemplate(newPromptName), this);
    m_promptNameToSelect = newPromptName;
    setFormState(FormState::adding);
}

void SettingsViewModel::duplicatePrompt() {
    const PresetDto& source = m_currentPrompt->preset;
    PresetEntry copy = blankTemplate(source.name + QStringLiteral(" copy"));
    copy->preset.temperature = source.temperature;
    copy->preset.systemMessage = source.systemMessage;
    copy->preset.userMessage = source.userMessage;
    m_store.createPreset(copy, this);
    m_promptNameToSelect = copy->preset.name;
}

void SettingsViewModel::savePrompt(bool fromAdvancedView) {
    if (m_formState != FormState::idle || m_currentPrompt->preset.id < 1)
        return;
    setFormState(FormState::sending);
    m_isFromAdvancedView = fromAdvancedView;
    m_store.updatePreset(m_currentPrompt, this);
    m_promptNameToSelect = m_currentPrompt->preset.name;
}

void SettingsViewModel::deletePrompt() {
    const qint64 id = m_currentPrompt->id;
    QList<PresetEntry> own = userPrompts();
    own.removeIf([id](const PresetEntry& entry) { return entry->id == id; });
    m_userPrompts->setEntries(own);
    m_store.deletePreset(m_currentPrompt);
    if (!globalPrompts().isEmpty())
        setSelectedPrompt(globalPrompts().first());
}

void SettingsViewModel::didCreatePreset(const PresetEntry&) {
    scheduleLoadPrompts();
}

void SettingsViewModel::didUpdatePreset(const PresetEntry&) {
    QPointer<SettingsViewModel> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self)
            return;
        self->scheduleLoadPrompts();
        self->m_initialPresetName.reset();
        self->m_initialUserMessage.reset();
        self->m_initialSystemMessage.reset();
        self->m_initialTemperature.reset();
        self->m_initialHotkey.reset();
        self->setIsPromptChanged(false);
        self->setFormState(FormState::sent);
        if (!self->m_isFromAdvancedView)
            self->setSelectedPrompt(std::nullopt);
        self->m_sentTimer->start(500ms, Timer::Mode::SingleShot, [self] {
            if (self)
                self->setFormState(FormState::idle);
        });
    });
}

void SettingsViewModel::setName(const QString& name) {
    editCurrentPrompt([&name](PresetDto& preset) { preset.name = name; });
}

void SettingsViewModel::setUserMessage(const QString& message) {
    editCurrentPrompt([&message](PresetDto& preset) { preset.userMessage = message; });
}

void SettingsViewModel::setSystemMessage(const QString& message) {
    editCurrentPrompt([&message](PresetDto& preset) { preset.systemMessage = message; });
}

void SettingsViewModel::setTemperature(double temperature) {
    const double bounded = std::clamp(temperature, 0.0, 1.0);
    editCurrentPrompt([bounded](PresetDto& preset) { preset.temperature = bounded; });
}

bool SettingsViewModel::showChanges() const {
    return m_review.showsChanges(m_currentPrompt->preset);
}

void SettingsViewModel::setShowChanges(bool show) {
    if (!showChangesEditable() || show == showChanges())
        return;
    m_review.setShowsChanges(m_currentPrompt->id, show);
    Q_EMIT currentPromptChanged();
}

QString SettingsViewModel::temperatureText() const {
    return QLocale().toString(m_currentPrompt->preset.temperature, 'f', 1);
}

void SettingsViewModel::setTemperatureText(const QString& text) {
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    if (ok)
        setTemperature(value);
    else
        Q_EMIT currentPromptChanged(); // the field shows the stored value again
}

QString SettingsViewModel::saveButtonTitle() const {
    switch (m_formState) {
    case FormState::idle:
        return QStringLiteral("page.settings.savePrompt");
    case FormState::sending:
        return QStringLiteral("page.settings.savingPrompt");
    case FormState::adding:
        return QStringLiteral("page.settings.addingPrompt");
    case FormState::sent:
        return QStringLiteral("page.settings.savedPrompt");
    }
    return {};
}

void SettingsViewModel::setIsPromptChanged(bool changed) {
    if (m_isPromptChanged == changed)
        return;
    m_isPromptChanged = changed;
    Q_EMIT isPromptChangedChanged();
}

void SettingsViewModel::setShowTooltipError(bool show) {
    if (m_showTooltipError == show)
        return;
    m_showTooltipError = show;
    Q_EMIT showTooltipErrorChanged();
}

void SettingsViewModel::setFormState(FormState state) {
    if (m_formState == state)
        return;
    m_formState = state;
    Q_EMIT formStateChanged();
}
