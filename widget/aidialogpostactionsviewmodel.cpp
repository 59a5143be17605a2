#include "widget/aidialogpostactionsviewmodel.h"

#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "platform/virtualkeys.h"
#include "shortcuts/hotkeytext.h"

#include <QPointer>

namespace {
constexpr int keyN = 45;
constexpr int keyP = 35;
constexpr int keyR = 15;
} // namespace

AIDialogPostActionsViewModel::AIDialogPostActionsViewModel(TimerSource& timers, QObject* parent)
    : QObject(parent)
    , m_deferred(timers)
    , m_list(fullList()) {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(Notifications::promptStarted, this, [this](const QVariantMap&) {
        replaceFirst(Action::copiedToClipboard, Action::copyToClipboard);
    });
    center.addObserver(Notifications::promptCompleted, this,
                       [this](const QVariantMap&) { setSelectedItem(Action::replaceSelection); });
}

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

std::function<void(PostKeyInput)> AIDialogPostActionsViewModel::onPostKeyInput() {
    return [self = QPointer(this)](const PostKeyInput& input) {
        if (self)
            self->handleKeyInput(input);
    };
}

void AIDialogPostActionsViewModel::handleKeyInput(const PostKeyInput& input) {
    if (std::holds_alternative<PostMode>(input)) {
        // Both modes show every action: the range of a capture is never known here.
        m_list = fullList();
        Q_EMIT listChanged();
        return;
    }
    const auto& key = std::get<WidgetKeyEvent>(input);
    if (key.keyCode == VirtualKeys::returnKey) {
        if (m_selectedItem)
            performAction(*m_selectedItem);
    } else if (key.keyCode == VirtualKeys::downArrow ||
               (key.keyCode == keyN && key.has(ModifierFlags::control))) {
        selectNext();
    } else if (key.keyCode == VirtualKeys::upArrow ||
               (key.keyCode == keyP && key.has(ModifierFlags::control))) {
        selectPrevious();
    } else if (key.keyCode == keyR && key.has(ModifierFlags::command)) {
        setSelectedItem(std::nullopt);
        QMetaObject::invokeMethod(
            this, [this] { post(PostAction::regenerate); }, Qt::QueuedConnection);
    }
}

void AIDialogPostActionsViewModel::performAction(Action action) {
    switch (action) {
    case Action::replaceSelection:
        post(PostAction::replaceSelection);
        break;
    case Action::copyToClipboard:
        replaceFirst(Action::copyToClipboard, Action::copiedToClipboard);
        post(PostAction::copyToClipboard);
        break;
    case Action::copiedToClipboard:
        break;
    case Action::insertBelow:
        post(PostAction::insertBelow);
        break;
    case Action::continueWithAnotherPrompt:
        post(PostAction::continueWithAnotherPrompt);
        break;
    case Action::regenerate:
        post(PostAction::regenerate);
        break;
    case Action::tryAgain:
        post(PostAction::tryAgain);
        break;
    case Action::discard:
        post(PostAction::discard);
        break;
    }
}

void AIDialogPostActionsViewModel::clickRow(int index) {
    if (index < 0 || index >= m_list.size())
        return;
    const Action action = m_list.at(index);
    setSelectedItem(std::nullopt);
    m_deferred.after(clickDelay, [self = QPointer(this), action] {
        if (!self)
            return;
        self->setSelectedItem(action);
        self->performAction(action);
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

void AIDialogPostActionsViewModel::post(PostAction action) {
    if (onPostAction)
        onPostAction(action);
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
