#pragma once

#include "settings/settingspromptlistmodel.h"
#include "store/presetdata.h"
#include "store/presetstore.h"
#include "store/presetstoreprotocol.h"
#include "store/reviewpreferences.h"

#include <QObject>
#include <QVariantList>

#include <memory>
#include <optional>

class Timer;
class TimerSource;

namespace Shortcuts {
class RecorderControl;
class Registry;
struct Shortcut;
} // namespace Shortcuts

/**
 * The prompts tab: the store's prompts split into standard and custom ones, an
 * editable copy of the selected prompt with change detection and the hotkey clash
 * check, and the form's progress while the service works.
 */
class SettingsViewModel final : public QObject, public PresetsStoreDelegate {
    Q_OBJECT
    Q_PROPERTY(bool isPromptChanged READ isPromptChanged NOTIFY isPromptChangedChanged)
    Q_PROPERTY(bool isPromptSelected READ isPromptSelected NOTIFY currentPromptChanged)
    Q_PROPERTY(bool disablePromptEdit READ disablePromptEdit NOTIFY currentPromptChanged)
    Q_PROPERTY(bool showTooltipError READ showTooltipError NOTIFY showTooltipErrorChanged)
    Q_PROPERTY(QString formState READ formStateValue NOTIFY formStateChanged)
    Q_PROPERTY(QString saveButtonTitle READ saveButtonTitle NOTIFY formStateChanged)
    /** Rows for the lists: id, selected, name, hotkey (display form), enabled. */
    Q_PROPERTY(SettingsPromptListModel* globalPrompts READ globalPromptList CONSTANT)
    Q_PROPERTY(SettingsPromptListModel* userPrompts READ userPromptList CONSTANT)
    Q_PROPERTY(qint64 selectedPromptId READ selectedPromptId NOTIFY currentPromptChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY currentPromptChanged)
    Q_PROPERTY(
        QString userMessage READ userMessage WRITE setUserMessage NOTIFY currentPromptChanged)
    Q_PROPERTY(
        QString systemMessage READ systemMessage WRITE setSystemMessage NOTIFY currentPromptChanged)
    Q_PROPERTY(double temperature READ temperature WRITE setTemperature NOTIFY currentPromptChanged)
    Q_PROPERTY(QString temperatureText READ temperatureText WRITE setTemperatureText NOTIFY
                   currentPromptChanged)
    /** Complete answers of this prompt open on their changes; kept at once, apart from save. */
    Q_PROPERTY(bool showChanges READ showChanges WRITE setShowChanges NOTIFY currentPromptChanged)
    /** Only a saved prompt has an id to keep the choice under. */
    Q_PROPERTY(bool showChangesEditable READ showChangesEditable NOTIFY currentPromptChanged)
    Q_PROPERTY(Shortcuts::RecorderControl* hotkeyRecorder READ hotkeyRecorder CONSTANT)
    Q_PROPERTY(int width MEMBER width CONSTANT)
    Q_PROPERTY(int height MEMBER height CONSTANT)

public:
    enum class FormState { idle, adding, sending, sent };

    SettingsViewModel(PresetStoreProtocol& store, Shortcuts::Registry& hotkeys, TimerSource& timers,
                      QObject* parent = nullptr);
    ~SettingsViewModel() override;

    [[nodiscard]] static QString rawValue(FormState state);
    static inline const QString newPromptName = QStringLiteral("New prompt");

    const int width = 600;
    const int height = 600;

    [[nodiscard]] bool isPromptChanged() const { return m_isPromptChanged; }
    [[nodiscard]] bool isPromptSelected() const { return m_isPromptSelected; }
    [[nodiscard]] bool disablePromptEdit() const { return m_disablePromptEdit; }
    [[nodiscard]] bool showTooltipError() const { return m_showTooltipError; }
    [[nodiscard]] FormState formState() const { return m_formState; }
    [[nodiscard]] const QList<PresetEntry>& globalPrompts() const {
        return m_globalPrompts->entries();
    }
    [[nodiscard]] const QList<PresetEntry>& userPrompts() const { return m_userPrompts->entries(); }
    [[nodiscard]] SettingsPromptListModel* globalPromptList() const { return m_globalPrompts; }
    [[nodiscard]] SettingsPromptListModel* userPromptList() const { return m_userPrompts; }
    [[nodiscard]] const std::optional<PresetEntry>& selectedPrompt() const {
        return m_selectedPrompt;
    }
    /** The editable copy shown in the form; edits reach the store only through save. */
    [[nodiscard]] const PresetData& currentPrompt() const { return *m_currentPrompt; }
    [[nodiscard]] Shortcuts::RecorderControl* hotkeyRecorder() const { return m_hotkeyRecorder; }

    /** Selection: the form shows a copy of entry, or the blank template. */
    void setSelectedPrompt(const std::optional<PresetEntry>& entry);
    /** The enable switch of a row was flipped. */
    void setToggledPreset(const PresetEntry& entry);

    void loadPrompts();
    /** The recorder stored or cleared a shortcut. */
    void hotkeyChanged(const std::optional<Shortcuts::Shortcut>& shortcut);

    Q_INVOKABLE void selectPrompt(qint64 id);
    Q_INVOKABLE void togglePrompt(qint64 id);
    Q_INVOKABLE void addPrompt();
    Q_INVOKABLE void duplicatePrompt();
    Q_INVOKABLE void savePrompt(bool fromAdvancedView);
    Q_INVOKABLE void deletePrompt();

    [[nodiscard]] QString name() const { return m_currentPrompt->preset.name; }
    void setName(const QString& name);
    [[nodiscard]] QString userMessage() const { return m_currentPrompt->preset.userMessage; }
    void setUserMessage(const QString& message);
    [[nodiscard]] QString systemMessage() const { return m_currentPrompt->preset.systemMessage; }
    void setSystemMessage(const QString& message);
    [[nodiscard]] double temperature() const { return m_currentPrompt->preset.temperature; }
    void setTemperature(double temperature);
    [[nodiscard]] bool showChanges() const;
    void setShowChanges(bool show);
    [[nodiscard]] bool showChangesEditable() const { return m_currentPrompt->id > 0; }
    /** One decimal, as the temperature field shows it. */
    [[nodiscard]] QString temperatureText() const;
    void setTemperatureText(const QString& text);

    void didCreatePreset(const PresetEntry& entry) override;
    void didUpdatePreset(const PresetEntry& entry) override;

Q_SIGNALS:
    void isPromptChangedChanged();
    void showTooltipErrorChanged();
    void formStateChanged();
    void currentPromptChanged();

private:
    [[nodiscard]] static PresetEntry blankTemplate(const QString& name = QString());
    [[nodiscard]] QString formStateValue() const { return rawValue(m_formState); }
    [[nodiscard]] QString saveButtonTitle() const;
    [[nodiscard]] qint64 selectedPromptId() const { return m_currentPrompt->id; }
    void selectPrompt(const std::optional<PresetEntry>& entry);
    void storeInitialValues();
    void detectChanges();
    void editCurrentPrompt(const std::function<void(PresetDto&)>& edit);
    void setIsPromptChanged(bool changed);
    void setShowTooltipError(bool show);
    void setFormState(FormState state);
    void scheduleLoadPrompts();
    [[nodiscard]] std::optional<PresetEntry> entryWithId(qint64 id) const;

    PresetStoreProtocol& m_store;
    bool m_isPromptChanged = false;
    bool m_isPromptSelected = false;
    SettingsPromptListModel* m_globalPrompts;
    SettingsPromptListModel* m_userPrompts;
    std::optional<PresetEntry> m_selectedPrompt;
    std::optional<PresetEntry> m_toggledPreset;
    PresetEntry m_currentPrompt;
    bool m_disablePromptEdit = true;
    FormState m_formState = FormState::idle;
    bool m_showTooltipError = false;
    QList<PresetEntry> m_prompts;
    std::optional<QString> m_initialPresetName;
    std::optional<QString> m_initialUserMessage;
    std::optional<QString> m_initialSystemMessage;
    std::optional<double> m_initialTemperature;
    std::optional<QString> m_initialHotkey;
    bool m_isFromAdvancedView = false;
    std::optional<QString> m_promptNameToSelect;
    std::unique_ptr<Timer> m_sentTimer;
    Shortcuts::RecorderControl* m_hotkeyRecorder = nullptr;
    ReviewPreferences m_review;
};
