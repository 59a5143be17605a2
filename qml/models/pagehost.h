#pragma once

#include "settings/pagerequest.h"
#include "webpage/pageprotocol.h"

#include <QColor>
#include <QPointer>
#include <QQuickItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

class QProcess;

/**
 * One service page, drawn by the page helper (orvane-webpage) in a window of its own
 * that is embedded where this item is. The helper runs only while the item is shown
 * in a shown window: hiding or destroying the item ends it, and the browser engine
 * with it. Clicked button and span identifiers come back as action().
 */
class PageHost : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QVariant request READ request WRITE setRequest NOTIFY requestChanged)
    Q_PROPERTY(QString reloadActionId READ reloadActionId WRITE setReloadActionId NOTIFY
                   reloadActionIdChanged)
    Q_PROPERTY(QColor background READ background WRITE setBackground NOTIFY backgroundChanged)
    /** The embedded page's window exists. */
    Q_PROPERTY(bool embedded READ isEmbedded NOTIFY embeddedChanged)

public:
    explicit PageHost(QQuickItem* parent = nullptr);
    ~PageHost() override;

    /** The helper next to orvane's own executable, installed or in the build tree. */
    [[nodiscard]] static QString helperPath();

    [[nodiscard]] QVariant request() const { return QVariant::fromValue(m_request); }
    /** Every assignment loads the request again, even an equal one. */
    void setRequest(const QVariant& request);
    [[nodiscard]] const QString& reloadActionId() const { return m_reloadActionId; }
    void setReloadActionId(const QString& identifier);
    [[nodiscard]] QColor background() const { return m_background; }
    void setBackground(const QColor& colour);
    [[nodiscard]] bool isEmbedded() const { return !m_foreign.isNull(); }

    Q_INVOKABLE void reload();

Q_SIGNALS:
    void requestChanged();
    void reloadActionIdChanged();
    void backgroundChanged();
    void embeddedChanged();
    /** A clicked button's or span's identifier. */
    void action(const QString& identifier);
    /** The page finished loading url. */
    void loaded(const QUrl& url);

protected:
    void componentComplete() override;
    void itemChange(ItemChange change, const ItemChangeData& data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void updatePolish() override;

private:
    void followWindow(QQuickWindow* window);
    void updateRunning();
    void startHelper();
    void stopHelper();
    void send(const QByteArray& line);
    void sendLoad();
    void readOutput();
    void embed(WId window);

    PageRequest m_request;
    QString m_reloadActionId;
    QColor m_background{Qt::white};
    QProcess* m_process = nullptr;
    PageProtocol::LineReader m_reader;
    QPointer<QWindow> m_foreign;
    QPointer<QQuickWindow> m_window;
    QList<QMetaObject::Connection> m_windowConnections;
};
