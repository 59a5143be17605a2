#pragma once

#include "widget/deferredjobs.h"
#include "widget/widgettypes.h"

#include <QObject>
#include <QStringList>

#include <optional>

class TimerSource;

/**
 * The actions under a finished result: replace, copy, insert below, continue,
 * regenerate, try again, discard; insert at cursor instead of replace and insert below
 * when nothing was selected, and neither when the answer cannot be pasted. Keeps a keyboard
 * selection and shows "copied" on the copy row until the next generation starts.
 */
class AIDialogPostActionsViewModel final : public QObject {
    Q_OBJECT
    /** Raw values of the rows shown; their labels are "menu.postaction." + raw value. */
    Q_PROPERTY(QStringList list READ listNames NOTIFY listChanged)
    Q_PROPERTY(QString selectedItem READ selectedItemName NOTIFY selectedItemChanged)
    /** The regenerate row's shortcut in the desktop's own spelling. */
    Q_PROPERTY(QString regenerateHint READ regenerateHint CONSTANT)

public:
    /** How the answer may go back into the window it came from. */
    enum class PasteOffer { none, selection, cursor };
    enum class Action {
        replaceSelection,
        copyToClipboard,
        copiedToClipboard,
        insertBelow,
        insertAtCursor,
        continueWithAnotherPrompt,
        regenerate,
        tryAgain,
        discard
    };

    static constexpr std::chrono::milliseconds clickDelay{100};

    explicit AIDialogPostActionsViewModel(TimerSource& timers, QObject* parent = nullptr);

    void performAction(Action action);
    Q_INVOKABLE void clickRow(int index);
    /** Return: the selected row's action. */
    void performSelected();
    /** Ctrl+R: regenerate, one turn later, with the highlight gone. */
    void regenerate();
    void selectNext();
    void selectPrevious();

    /** A generation starts: "copied" becomes "copy" again. */
    void promptStarted();
    /** A generation ended: the first row is selected. */
    void promptCompleted();
    void setPasteOffer(PasteOffer offer);

    static QString rawValue(Action action);
    static const QList<Action>& fullList();

    [[nodiscard]] const QList<Action>& list() const { return m_list; }
    [[nodiscard]] QStringList listNames() const;
    [[nodiscard]] std::optional<Action> selectedItem() const { return m_selectedItem; }
    [[nodiscard]] QString selectedItemName() const;
    [[nodiscard]] QString regenerateHint() const;

Q_SIGNALS:
    void listChanged();
    void selectedItemChanged();
    void chosen(PostAction action);

private:
    void setSelectedItem(std::optional<Action> item);
    void replaceFirst(Action from, Action to);
    void setList(const QList<Action>& list);

    DeferredJobs m_deferred;
    std::optional<Action> m_selectedItem = Action::replaceSelection;
    QList<Action> m_list;
    PasteOffer m_pasteOffer = PasteOffer::selection;
};
