#pragma once

#include "settings/pagerequest.h"

#include <QObject>
#include <QVariant>

class AppEvents;
class WidgetPresenter;

/** The account tab: the service's account page; "logout" signs the user out. */
class SettingsAccountModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(double width MEMBER width CONSTANT)
    Q_PROPERTY(double height MEMBER height CONSTANT)

public:
    SettingsAccountModel(PageContext context, AppEvents& events, QObject* parent = nullptr);

    const double width = 604;
    const double height = 460;

    /** Built afresh each time the page is shown; invalid (and logged) without a URL. */
    [[nodiscard]] Q_INVOKABLE QVariant urlRequest() const;
    [[nodiscard]] PageRequest pageRequest() const;
    Q_INVOKABLE void handleAction(const QString& identifier);

private:
    PageContext m_context;
    AppEvents& m_events;
};

/** The support tab: the service's problem-report page, loaded again after every button. */
class SettingsSupportViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString sendReportId MEMBER sendReportId CONSTANT)
    Q_PROPERTY(double width MEMBER width CONSTANT)
    Q_PROPERTY(double height MEMBER height CONSTANT)

public:
    explicit SettingsSupportViewModel(PageContext context, QObject* parent = nullptr);

    const QString sendReportId = QStringLiteral("send_report");
    const double width = 604;
    const double height = 467;

    [[nodiscard]] Q_INVOKABLE QVariant urlRequest() const;
    [[nodiscard]] PageRequest pageRequest() const;

private:
    PageContext m_context;
};

/** The help window: the service's help page, which shows the current widget hotkey. */
class HelpCenterViewModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant urlRequest READ urlRequestValue NOTIFY urlRequestChanged)
    Q_PROPERTY(double width MEMBER width CONSTANT)
    Q_PROPERTY(double height MEMBER height CONSTANT)

public:
    HelpCenterViewModel(PageContext context, WidgetPresenter& presenter, AppEvents& events,
                        QObject* parent = nullptr);

    const QString viewPath = PageRequests::helpPath;
    const double width = 844;
    const double height = 620;

    [[nodiscard]] const std::optional<PageRequest>& urlRequest() const { return m_urlRequest; }
    Q_INVOKABLE void handleAction(const QString& identifier);
    /** The window opens again: the user may have changed since the last time. */
    Q_INVOKABLE void refresh();

Q_SIGNALS:
    void urlRequestChanged();

private:
    [[nodiscard]] QVariant urlRequestValue() const;
    void rebuildRequest();

    PageContext m_context;
    WidgetPresenter& m_presenter;
    std::optional<PageRequest> m_urlRequest;
};
