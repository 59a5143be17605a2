#pragma once

#include "platform/capabilities.h"

#include <QAbstractListModel>

/** What works in this session, one row per capability, with what to do when it does not. */
class CapabilityListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(QString session READ session CONSTANT)

public:
    enum Role { TitleRole = Qt::UserRole + 1, AvailableRole, MeansRole, AdviceRole };

    explicit CapabilityListModel(CapabilityReport report, QObject* parent = nullptr)
        : QAbstractListModel(parent)
        , m_report(std::move(report)) {}

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(m_report.capabilities.size());
    }
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override {
        return {{TitleRole, "title"},
                {AvailableRole, "available"},
                {MeansRole, "means"},
                {AdviceRole, "advice"}};
    }
    /** "Wayland (GNOME)" and the like. */
    [[nodiscard]] QString session() const;

private:
    CapabilityReport m_report;
};
