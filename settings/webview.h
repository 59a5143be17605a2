#pragma once

#include "settings/pagerequest.h"

#include <QObject>
#include <QQmlWebChannel>
#include <QQuickWebEngineProfile>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QWebEngineScript;
class PageHeaders;

/**
 * The bridge between an embedded service page and its view model. It loads the
 * request with its headers, runs two scripts in an isolated world (one reports the
 * outer HTML of every clicked element to "jsMessenger", one fixes the viewport) and
 * turns each report into the identifiers of the clicked button and span.
 *
 * One bridge goes with one web view and lives only as long as it: creating it sets up
 * a private, off-the-record profile for the view.
 */
class WebView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QVariant request READ request WRITE setRequest NOTIFY requestChanged)
    Q_PROPERTY(QString reloadActionId READ reloadActionId WRITE setReloadActionId NOTIFY reloadActionIdChanged)
    /** The view's own profile and web channel, made when a view first asks for them. */
    Q_PROPERTY(QQuickWebEngineProfile* profile READ profile CONSTANT)
    Q_PROPERTY(QQmlWebChannel* channel READ channel CONSTANT)
    Q_PROPERTY(int scriptWorld READ scriptWorld CONSTANT)

public:
    explicit WebView(QObject* parent = nullptr);
    ~WebView() override;

    /** The button identifier (first) and the span identifier of a clicked element's outer HTML. */
    [[nodiscard]] static QStringList identifiers(const QString& outerHtml);
    /** The scripts installed for every page, in order. */
    [[nodiscard]] static QList<QWebEngineScript> userScripts();

    [[nodiscard]] QVariant request() const { return QVariant::fromValue(m_request); }
    /** Every assignment loads the request again, even an equal one. */
    void setRequest(const QVariant& request);
    [[nodiscard]] const QString& reloadActionId() const { return m_reloadActionId; }
    void setReloadActionId(const QString& identifier);
    [[nodiscard]] QQuickWebEngineProfile* profile();
    [[nodiscard]] QQmlWebChannel* channel();
    [[nodiscard]] int scriptWorld() const;

    /** What the page script posts: the outer HTML of the clicked element. */
    void receiveMessage(const QString& outerHtml);

Q_SIGNALS:
    void requestChanged();
    void reloadActionIdChanged();
    /** A clicked button's or span's identifier. */
    void action(const QString& identifier);
    /** The view should load url (again). */
    void loadRequested(const QUrl& url);

private:
    void createProfile();

    PageRequest m_request;
    QString m_reloadActionId;
    std::unique_ptr<PageHeaders> m_headers;
    QQuickWebEngineProfile* m_profile = nullptr;
    QQmlWebChannel* m_channel = nullptr;
};
