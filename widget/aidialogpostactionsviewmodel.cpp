#include "widget/aidialogpostactionsviewmodel.h"

#include "shortcuts/hotkeytext.h"

AIDialogPostActionsViewModel::AIDialogPostActionsViewModel(TimerSource& timers, QObject* parent)
    : QObject(parent)
    , m_deferred(timers)
    , m_list(fullList()) {}

const QList<AIDialogPostActionsViewModel::Action>& AIDialogPostActionsViewModel::fullList() {
    static const QList<Action> list{Action::replaceSelection, Action::copyToClipboard,
                                    Action::insertBelow,      Action::continueWithAnotherPrompt,
                                    Action::regenerate,       Action::tryAgain,
                                    Action::discard};
    return list;
}

QString AIDialogPostActionsViewModel::rawValue(Action action) {
    switch (action) {
    case Action::replaceSelection:
        return QStringLiteral("replaceSelection");
    case Action::copyToClipboard:
        return QStringLiteral("copyToClipboard");
    case Action::copiedToClipboard:
        return QStringLiteral("copiedToClipboard");
    case Action::insertBelow:
        return QStringLiteral("insertBelow");
    case Action::insertAtCursor:
        return QStringLiteral("insertAtCursor");
    case Action::continueWithAnotherPrompt:
        return QStringLiteral("continueWithAnotherPrompt");
    case Action::regenerate:
        return QStringLiteral("regenerate");
    case Action::tryAgain:
        return QStringLiteral("tryAgain");
    case Action::discard:
        return QStringLiteral("discard");
    }
    return {};
}

void AIDialogPostActionsViewModel::performSelected() {
    if (m_selectedItem)
        performAction(*m_selectedItem);
}

void AIDialogPostActionsViewModel::regenerate() {
    setSelectedItem(std::nullopt);
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT chosen(PostAction::regenerate); }, Qt::QueuedConnection);
}

void AIDialogPostActionsViewModel::promptStarted() {
    replaceFirst(Action::copiedToClipboard, Action::copyToClipboard);
}

void AIDialogPostActionsViewModel::promptCompleted() {
    setSelectedItem(m_list.isEmpty() ? std::nullopt : std::optional(m_list.first()));
}

void AIDialogPostActionsViewModel::setPasteOffer(PasteOffer offer) {
    if (offer == m_pasteOffer)
        return;
    m_pasteOffer = offer;
    QList<Action> list;
    if (offer == PasteOffer::cursor)
        list.append(Action::insertAtCursor);
    for (Action action : fullList()) {
        const bool paste = action == Action::replaceSelection || action == Action::insertBelow;
        if (!paste || offer == PasteOffer::selection)
            list.append(action == Action::copyToClipboard &&
                                m_list.contains(Action::copiedToClipboard)
                            ? Action::copiedToClipboard
                            : action);
    }
    setList(list);
    // When the paste went away (its window closed), Copy comes first and is highlighted.
    setSelectedItem(m_list.first());
}

void AIDialogPostActionsViewModel::setList(const QList<Action>& list) {
    if (list == m_list)
        return;
    m_list = list;
    Q_EMIT listChanged();
}

void AIDialogPostActionsViewModel::performAction(Action action) {
    switch (action) {
    case Action::replaceSelection:
        Q_EMIT chosen(PostAction::replaceSelection);
        break;
    case Action::copyToClipboard:
        replaceFirst(Action::copyToClipboard, Action::copiedToClipboard);
        Q_EMIT chosen(PostAction::copyToClipboard);
        break;
    case Action::copiedToClipboard:
        break;
    case Action::insertBelow:
        Q_EMIT chosen(PostAction::insertBelow);
        break;
    case Action::insertAtCursor:
        Q_EMIT chosen(PostAction::insertAtCursor);
        break;
    case Action::continueWithAnotherPrompt:
        Q_EMIT chosen(PostAction::continueWithAnotherPrompt);
        break;
    case Action::regenerate:
        Q_EMIT chosen(PostAction::regenerate);
        break;
    case Action::tryAgain:
        Q_EMIT chosen(PostAction::tryAgain);
        break;
    case Action::discard:
        Q_EMIT chosen(PostAction::discard);
        break;
    }
}

void AIDialogPostActionsViewModel::clickRow(int index) {
    if (index < 0 || index >= m_list.size())
        return;
    const Action action = m_list.at(index);
    setSelectedItem(std::nullopt);
    m_deferred.after(clickDelay, [this, action] {
        setSelectedItem(action);
        performAction(action);
    });
}

void AIDialogPostActionsViewModel::selectNext() {
    if (m_list.isEmpty())
        return setSelectedItem(std::nullopt);
    if (!m_selectedItem)
        return setSelectedItem(m_list.last());
    const qsizetype at = m_list.indexOf(*m_selectedItem);
    setSelectedItem(at < 0 ? m_list.first() : m_list.at((at + 1) % m_list.size()));
}

void AIDialogPostActionsViewModel::selectPrevious() {
    if (m_list.isEmpty())
        return setSelectedItem(std::nullopt);
    if (!m_selectedItem)
        return setSelectedItem(m_list.first());
    const qsizetype at = m_list.indexOf(*m_selectedItem);
    setSelectedItem(at < 0 ? m_list.last() : m_list.at((at + m_list.size() - 1) % m_list.size()));
}

void AIDialogPostActionsViewModel::replaceFirst(Action from, Action to) {
    const qsizetype at = m_list.indexOf(from);
    if (at < 0)
        return;
    m_list[at] = to;
    // The highlight follows the row it was on.
    if (m_selectedItem == from)
        m_selectedItem = to;
    Q_EMIT listChanged();
    Q_EMIT selectedItemChanged();
}

QStringList AIDialogPostActionsViewModel::listNames() const {
    QStringList names;
    for (Action action : m_list)
        names.append(rawValue(action));
    return names;
}

QString AIDialogPostActionsViewModel::selectedItemName() const {
    return m_selectedItem ? rawValue(*m_selectedItem) : QString();
}

QString AIDialogPostActionsViewModel::regenerateHint() const {
    return Shortcuts::HotkeyText::displayText(QStringLiteral("command+r"));
}

void AIDialogPostActionsViewModel::setSelectedItem(std::optional<Action> item) {
    if (item == m_selectedItem)
        return;
    m_selectedItem = item;
    Q_EMIT selectedItemChanged();
}
