#pragma once

#include "widget/deferredjobs.h"
#include "widget/widgettypes.h"

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

class TimerSource;

/**
 * The actions under a finished result: replace, copy, insert below, continue,
 * regenerate, try again, discard. Keeps a keyboard selection and shows "copied" on
 * the copy row until the next generation starts.
 */
class AIDialogPostActionsViewModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the widget content")
    Q_PROPERTY(int cellHeight READ cellHeight CONSTANT)
    /** Raw values of the rows shown; their labels are "menu.postaction." + raw value. */
    Q_PROPERTY(QStringList list READ listNames NOTIFY listChanged)
    Q_PROPERTY(QString selectedItem READ selectedItemName NOTIFY selectedItemChanged)
    /** The regenerate row's shortcut in the desktop's own spelling. */
    Q_PROPERTY(QString regenerateHint READ regenerateHint CONSTANT)

public:
    enum class Action {
        replaceSelection,
        copyToClipboard,
        copiedToClipboard,
        insertBelow,
        continueWithAnotherPrompt,
        regenerate,
        tryAgain,
        discard
    };

    static constexpr std::chrono::milliseconds clickDelay{100};

    explicit AIDialogPostActionsViewModel(TimerSource& timers, QObject* parent = nullptr);

    std::function<void(PostAction)> onPostAction;
    [[nodiscard]] std::function<void(PostKeyInput)> onPostKeyInput();
    void handleKeyInput(const PostKeyInput& input);

    void performAction(Action action);
    Q_INVOKABLE void clickRow(int index);

    static QString rawValue(Action action);
    static const QList<Action>& fullList();

    [[nodiscard]] int cellHeight() const { return 20; }
    [[nodiscard]] const QList<Action>& list() const { return m_list; }
    [[nodiscard]] QStringList listNames() const;
    [[nodiscard]] std::optional<Action> selectedItem() const { return m_selectedItem; }
    [[nodiscard]] QString selectedItemName() const;
    [[nodiscard]] QString regenerateHint() const;

Q_SIGNALS:
    void listChanged();
    void selectedItemChanged();

private:
    void selectNext();
    void selectPrevious();
    void setSelectedItem(std::optional<Action> item);
    void replaceFirst(Action from, Action to);
    void post(PostAction action);

    DeferredJobs m_deferred;
    std::optional<Action> m_selectedItem = Action::replaceSelection;
    QList<Action> m_list;
};
