#pragma once

#include "store/presetstoreprotocol.h"

#include <QAbstractListModel>

/**
 * One list of the prompt editor (the standard or the user's prompts): a row per
 * prompt with its name, hotkey text and enabled switch, and which row is selected.
 */
class SettingsPromptListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ currentIndex NOTIFY currentIndexChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, HotkeyRole, EnabledRole, SelectedRole };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    /** Rows that still show the same prompts are updated in place, not rebuilt. */
    void setEntries(const QList<PresetEntry>& entries);
    /** Marks the row of the prompt with this id selected; no row for an id not in the list. */
    void setSelectedId(qint64 id);

    [[nodiscard]] int currentIndex() const { return m_currentIndex; }
    [[nodiscard]] const QList<PresetEntry>& entries() const { return m_entries; }

    /** The user picked a row. */
    Q_INVOKABLE void choose(int row);
    /** The user flipped a row's switch. */
    Q_INVOKABLE void toggle(int row);

Q_SIGNALS:
    void currentIndexChanged();
    void chosen(qint64 id);
    void toggled(qint64 id);

private:
    [[nodiscard]] qint64 idAt(int row) const;

    QList<PresetEntry> m_entries;
    int m_currentIndex = -1;
};
