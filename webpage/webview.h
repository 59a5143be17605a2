#pragma once

#include "webpage/pageprotocol.h"

#include <QObject>
#include <QQmlWebChannel>
#include <QQuickWebEngineProfile>
#include <QStringList>
#include <QUrl>
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
    QML_UNCREATABLE("made by the page helper")
    Q_PROPERTY(QUrl url READ url NOTIFY requestChanged)
    Q_PROPERTY(QString background READ background NOTIFY requestChanged)
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

    [[nodiscard]] const PageProtocol::Load& request() const { return m_request; }
    [[nodiscard]] QUrl url() const { return m_request.url; }
    [[nodiscard]] const QString& background() const { return m_request.background; }
    /** Every assignment loads the request again, even an equal one. */
    void setRequest(const PageProtocol::Load& request);
    /** Loads the current request again. */
    void reload();
    [[nodiscard]] QQuickWebEngineProfile* profile();
    [[nodiscard]] QQmlWebChannel* channel();
    [[nodiscard]] int scriptWorld() const;

    /** What the page script posts: the outer HTML of the clicked element. */
    void receiveMessage(const QString& outerHtml);

Q_SIGNALS:
    void requestChanged();
    /** A clicked button's or span's identifier. */
    void action(const QString& identifier);
    /** The view should load url (again). */
    void loadRequested(const QUrl& url);
    /** The view finished loading url. */
    void pageLoaded(const QUrl& url);

private:
    void createProfile();

    PageProtocol::Load m_request;
    std::unique_ptr<PageHeaders> m_headers;
    QQuickWebEngineProfile* m_profile = nullptr;
    QQmlWebChannel* m_channel = nullptr;
};
