#include "settings/capabilitylistmodel.h"

QVariant CapabilityListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Capability& capability = m_report.capabilities.at(index.row());
    switch (role) {
    case TitleRole:
        return capability.title;
    case AvailableRole:
        return capability.available;
    case MeansRole:
        return capability.means;
    case AdviceRole:
        return capability.advice;
    default:
        return {};
    }
}

QString CapabilityListModel::session() const {
    const SessionInfo& session = m_report.session;
    const QString server = session.server() == SessionInfo::Server::wayland
                               ? QStringLiteral("Wayland")
                           : session.server() == SessionInfo::Server::x11 ? QStringLiteral("X11")
                                                                          : tr("no display server");
    return session.desktop.isEmpty() ? server
                                     : QStringLiteral("%1 (%2)").arg(server, session.desktop);
}
