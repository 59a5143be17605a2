#include "settings/pagemodels.h"

#include "core/appevents.h"
#include "core/logging.h"
#include "core/widgetpresenter.h"
#include "store/userstore.h"

namespace {

QVariant checkedRequest(const PageRequest& request) {
    if (!request.isValid()) {
        qCCritical(lcUrl, "not able to construct url: nil");
        return {};
    }
    return QVariant::fromValue(request);
}

} // namespace

SettingsAccountModel::SettingsAccountModel(PageContext context, AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_events(events) {}

PageRequest SettingsAccountModel::pageRequest() const {
    return PageRequests::pageRequest(PageRequests::accountPath, m_context,
                                     PageRequests::Hotkey::omitted);
}

QVariant SettingsAccountModel::urlRequest() const {
    return checkedRequest(pageRequest());
}

void SettingsAccountModel::handleAction(const QString& identifier) {
    if (identifier == QLatin1String("logout"))
        Q_EMIT m_events.userLoggedOut();
}

SettingsSupportViewModel::SettingsSupportViewModel(PageContext context, QObject* parent)
    : QObject(parent)
    , m_context(context) {}

PageRequest SettingsSupportViewModel::pageRequest() const {
    return PageRequests::pageRequest(PageRequests::newReportPath, m_context,
                                     PageRequests::Hotkey::omitted);
}

QVariant SettingsSupportViewModel::urlRequest() const {
    return checkedRequest(pageRequest());
}

HelpCenterViewModel::HelpCenterViewModel(PageContext context, WidgetPresenter& presenter,
                                         AppEvents& events, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_presenter(presenter) {
    if (m_context.session.isAuthorised())
        rebuildRequest();
    connect(&events, &AppEvents::windowHotkeyChanged, this, &HelpCenterViewModel::rebuildRequest);
}

void HelpCenterViewModel::rebuildRequest() {
    m_urlRequest = PageRequests::pageRequest(viewPath, m_context, PageRequests::Hotkey::included);
    Q_EMIT urlRequestChanged();
}

void HelpCenterViewModel::refresh() {
    if (m_context.session.isAuthorised())
        rebuildRequest();
}

QVariant HelpCenterViewModel::urlRequestValue() const {
    return m_urlRequest ? QVariant::fromValue(*m_urlRequest) : QVariant();
}

void HelpCenterViewModel::handleAction(const QString& identifier) {
    if (identifier == QLatin1String("start"))
        m_presenter.showWidget();
}
