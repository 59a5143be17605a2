#include "settings/pagemodels.h"

#include "core/maincoordinatorprotocol.h"
#include "core/notificationcenter.h"
#include "core/notifications.h"
#include "service/servicebase.h"
#include "store/userstore.h"

#include <QPointer>

namespace {

QVariant checkedRequest(const PageRequest& request, const Log& logger)
{
    if (!request.isValid()) {
        logger.error(QStringLiteral("not able to construct url: nil"));
        return {};
    }
    return QVariant::fromValue(request);
}

} // namespace

SettingsAccountModel::SettingsAccountModel(MainCoordinatorProtocol& coordinator, const ServiceBase& base,
                                           QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_base(base)
{
}

PageRequest SettingsAccountModel::pageRequest() const
{
    return PageRequests::pageRequest(PageRequests::accountPath, m_coordinator, PageRequests::Hotkey::omitted,
                                     m_base);
}

QVariant SettingsAccountModel::urlRequest() const
{
    return checkedRequest(pageRequest(), m_logger);
}

void SettingsAccountModel::handleAction(const QString& identifier)
{
    if (identifier == QLatin1String("logout"))
        NotificationCenter::defaultCenter().post(Notifications::userLoggedOut);
}

SettingsSupportViewModel::SettingsSupportViewModel(MainCoordinatorProtocol& coordinator,
                                                   const ServiceBase& base, QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_base(base)
{
}

PageRequest SettingsSupportViewModel::pageRequest() const
{
    return PageRequests::pageRequest(PageRequests::newReportPath, m_coordinator,
                                     PageRequests::Hotkey::omitted, m_base);
}

QVariant SettingsSupportViewModel::urlRequest() const
{
    return checkedRequest(pageRequest(), m_logger);
}

HelpCenterViewModel::HelpCenterViewModel(MainCoordinatorProtocol& coordinator, const ServiceBase& base,
                                         QObject* parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_base(base)
    , m_userStore(coordinator.getUserStore())
{
    if (m_userStore.isAuthorised())
        rebuildRequest();
    QPointer<HelpCenterViewModel> self(this);
    NotificationCenter::defaultCenter().addObserver(Notifications::windowHotkeyUpdated, this,
                                                    [self](const QVariantMap&) {
                                                        if (self)
                                                            self->rebuildRequest();
                                                    });
}

void HelpCenterViewModel::rebuildRequest()
{
    m_urlRequest = PageRequests::pageRequest(viewPath, m_coordinator, PageRequests::Hotkey::included, m_base);
    Q_EMIT urlRequestChanged();
}

void HelpCenterViewModel::refresh()
{
    if (m_userStore.isAuthorised())
        rebuildRequest();
}

QVariant HelpCenterViewModel::urlRequestValue() const
{
    return m_urlRequest ? QVariant::fromValue(*m_urlRequest) : QVariant();
}

void HelpCenterViewModel::handleAction(const QString& identifier)
{
    if (identifier == QLatin1String("start"))
        m_coordinator.showWidget();
}
