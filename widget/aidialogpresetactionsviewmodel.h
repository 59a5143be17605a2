#pragma once

#include "store/presetstoreprotocol.h"
#include "widget/deferredjobs.h"
#include "widget/widgettypes.h"

#include <QAbstractListModel>
#include <QPointer>

#include <optional>

class WidgetPresenter;
class PasteboardManager;
class TimerSource;
class WindowTrackerProtocol;

namespace Shortcuts {
class Registry;
}

/**
 * The enabled prompts under the prompt field, narrowed while the user types, with a
 * keyboard selection (currentIndex, -1 for none). Also binds the prompts' own
 * system-wide hotkeys, since it holds the list they come from.
 */
class AIDialogPresetActionsViewModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ currentIndex NOTIFY currentIndexChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, HotkeyRole };

    static constexpr std::chrono::milliseconds clickDelay{50};

    struct Dependencies {
        PresetStoreProtocol& presetStore;
        WidgetPresenter& presenter;
        WindowTrackerProtocol& windowTracker;
        TimerSource& timers;
        Shortcuts::Registry& hotkeys;
        /** Captures for the prompt hotkeys; may be null where nothing can be captured. */
        PasteboardManager* pasteboardManager = nullptr;
    };

    explicit AIDialogPresetActionsViewModel(Dependencies dependencies, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    /** Reads the store's prompts again and binds their hotkeys. */
    void reloadPresets();
    /** Binds the prompts' hotkeys again (the hourly refresh). */
    void registerPromptHotkeys();
    void search(const QString& text);
    /** Return: the selected prompt, or with nothing selected the typed command. */
    void choose();
    /** Each opening starts on the first prompt, whatever the last one ran. */
    void highlightFirst() { setCurrentIndex(m_matches.isEmpty() ? -1 : 0); }
    void selectNext();
    void selectPrevious();
    /** A click on a row: the choice follows a moment later, when the row still exists. */
    Q_INVOKABLE void clickRow(int index);
    /** The generation a prompt hotkey started is over: the next press may start another. */
    void promptCompleted() { m_isPresetRunning = false; }

    [[nodiscard]] const QList<PresetEntry>& presets() const { return m_presets; }
    [[nodiscard]] const QList<PresetEntry>& matchesPresets() const { return m_matches; }
    [[nodiscard]] int currentIndex() const { return m_currentIndex; }
    [[nodiscard]] bool isPresetRunning() const { return m_isPresetRunning; }

Q_SIGNALS:
    void currentIndexChanged();
    /** A prompt was picked from the list. */
    void chosen(qint64 id);
    /** Return with nothing selected: the typed command. */
    void commandChosen();
    /** A prompt's own hotkey was pressed; the action says on what it runs. */
    void hotkeyAction(const PresetAction& action);

private:
    void setMatches(const QList<PresetEntry>& list);
    void setCurrentIndex(int index);
    void runPromptHotkey(qint64 id);

    PresetStoreProtocol& m_presetStore;
    WidgetPresenter& m_presenter;
    WindowTrackerProtocol& m_windowTracker;
    Shortcuts::Registry& m_hotkeys;
    QPointer<PasteboardManager> m_pasteboardManager;
    DeferredJobs m_deferred;

    QList<PresetEntry> m_presets;
    QList<PresetEntry> m_matches;
    int m_currentIndex = -1;
    bool m_isPresetRunning = false;
};
