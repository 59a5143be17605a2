#pragma once

#include "core/log.h"
#include "store/presetstoreprotocol.h"
#include "widget/deferredjobs.h"
#include "widget/widgettypes.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

class MainCoordinatorProtocol;
class PasteboardManager;
class TimerSource;
class WindowTrackerProtocol;

/**
 * The enabled prompts under the prompt field: narrowed while the user types, with a
 * keyboard selection, turned into prompt actions for the input model. Also owns the
 * prompts' own system-wide hotkeys, since it holds the list they come from.
 */
class AIDialogPresetActionsViewModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the widget content")
    Q_PROPERTY(int cellHeight READ cellHeight CONSTANT)
    Q_PROPERTY(int maxPresetsToShow READ maxPresetsToShow CONSTANT)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY matchesPresetsChanged)
    Q_PROPERTY(int presetsToShow READ presetsToShow NOTIFY presetsToShowChanged)
    Q_PROPERTY(int selectedRow READ selectedRow NOTIFY selectedPresetIndexChanged)

public:
    static constexpr std::chrono::milliseconds clickDelay{50};

    struct Dependencies {
        MainCoordinatorProtocol& coordinator;
        WindowTrackerProtocol& windowTracker;
        TimerSource& timers;
        /** Captures for the prompt hotkeys; may be null where nothing can be captured. */
        PasteboardManager* pasteboardManager = nullptr;
    };

    explicit AIDialogPresetActionsViewModel(Dependencies dependencies, QObject* parent = nullptr);

    std::function<void(PresetAction)> onPresetAction;
    /** The closure the input model sends keys and searches to. */
    [[nodiscard]] std::function<void(PresetKeyInput)> onKeyInput();
    void handleKeyInput(const PresetKeyInput& input);

    void reloadPresets();
    void search(const QString& text);
    void choose();
    void selectNext();
    void selectPrevious();
    /** A click on a row: the choice follows a moment later, when the row still exists. */
    Q_INVOKABLE void clickRow(int index);

    void registerPromptHotkeys(const QList<PresetEntry>& list);
    void runPromptHotkey(qint64 id);

    [[nodiscard]] int cellHeight() const { return 20; }
    [[nodiscard]] int maxPresetsToShow() const { return 10; }
    [[nodiscard]] const QList<PresetEntry>& presets() const { return m_presets; }
    [[nodiscard]] const QList<PresetEntry>& matchesPresets() const { return m_matchesPresets; }
    [[nodiscard]] QVariantList rows() const;
    [[nodiscard]] int presetsToShow() const { return m_presetsToShow; }
    [[nodiscard]] std::optional<int> selectedPresetIndex() const { return m_selectedPresetIndex; }
    [[nodiscard]] int selectedRow() const { return m_selectedPresetIndex.value_or(-1); }
    [[nodiscard]] bool isPresetRunning() const { return m_isPresetRunning; }

Q_SIGNALS:
    void matchesPresetsChanged();
    void presetsToShowChanged();
    void selectedPresetIndexChanged();

private:
    void setMatchesPresets(const QList<PresetEntry>& list);
    void setSelectedPresetIndex(std::optional<int> index);
    void updatePresetsToShow();
    void choosePreset(qint64 id);

    MainCoordinatorProtocol& m_coordinator;
    WindowTrackerProtocol& m_windowTracker;
    QPointer<PasteboardManager> m_pasteboardManager;
    DeferredJobs m_deferred;
    Log m_logger{"application"};

    QList<PresetEntry> m_presets;
    QList<PresetEntry> m_matchesPresets;
    std::optional<int> m_selectedPresetIndex;
    int m_presetsToShow = 0;
    bool m_isPresetRunning = false;
};
