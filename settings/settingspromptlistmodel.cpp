#include "settings/settingspromptlistmodel.h"

#include "shortcuts/hotkeytext.h"
#include "store/presetdata.h"

int SettingsPromptListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant SettingsPromptListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const PresetData& entry = *m_entries.at(index.row());
    switch (role) {
    case IdRole:
        return entry.id;
    case NameRole:
        return entry.preset.name;
    case HotkeyRole:
        return Shortcuts::HotkeyText::displayText(entry.preset.hotkey);
    case EnabledRole:
        return entry.enabled;
    case SelectedRole:
        return index.row() == m_currentIndex;
    default:
        return {};
    }
}

QHash<int, QByteArray> SettingsPromptListModel::roleNames() const {
    return {{IdRole, "promptId"},
            {NameRole, "name"},
            {HotkeyRole, "hotkey"},
            {EnabledRole, "promptEnabled"},
            {SelectedRole, "selected"}};
}

void SettingsPromptListModel::setEntries(const QList<PresetEntry>& entries) {
    const bool sameRows =
        entries.size() == m_entries.size() &&
        std::equal(entries.begin(), entries.end(), m_entries.begin(),
                   [](const PresetEntry& a, const PresetEntry& b) { return a->id == b->id; });
    const qint64 selected = idAt(m_currentIndex);
    if (sameRows) {
        m_entries = entries;
        if (!m_entries.isEmpty())
            Q_EMIT dataChanged(index(0), index(rowCount() - 1));
    } else {
        beginResetModel();
        m_entries = entries;
        m_currentIndex = -1;
        endResetModel();
    }
    setSelectedId(selected);
}

void SettingsPromptListModel::setSelectedId(qint64 id) {
    int row = -1;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i)->id == id)
            row = i;
    }
    if (row == m_currentIndex)
        return;
    const int previous = m_currentIndex;
    m_currentIndex = row;
    for (const int changed : {previous, row}) {
        if (changed >= 0)
            Q_EMIT dataChanged(index(changed), index(changed), {SelectedRole});
    }
    Q_EMIT currentIndexChanged();
}

void SettingsPromptListModel::choose(int row) {
    if (row >= 0 && row < m_entries.size())
        Q_EMIT chosen(idAt(row));
}

void SettingsPromptListModel::toggle(int row) {
    if (row >= 0 && row < m_entries.size())
        Q_EMIT toggled(idAt(row));
}

qint64 SettingsPromptListModel::idAt(int row) const {
    return row >= 0 && row < m_entries.size() ? m_entries.at(row)->id : -1;
}
