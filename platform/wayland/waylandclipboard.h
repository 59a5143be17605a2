#pragma once

#include "platform/clipboard.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <memory>

class WaylandConnection;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

/**
 * The clipboard through wlroots data control, which reads and sets it without the
 * keyboard focus that the core protocol demands. A new selection of another client is
 * read in full before changedByOtherApp, so text() answers at once.
 */
class WaylandClipboard final : public ClipboardProtocol {
    Q_OBJECT
public:
    /** Needs the connection's data control manager and seat. */
    explicit WaylandClipboard(std::shared_ptr<WaylandConnection> connection,
                              QObject* parent = nullptr);
    ~WaylandClipboard() override;

    void clear() override;
    void setText(const QString& text) override;
    [[nodiscard]] std::optional<QString> text() const override { return m_text; }

private:
    struct Listeners;
    void takeSelection(zwlr_data_control_offer_v1* offer);
    void receive(zwlr_data_control_offer_v1* offer, const QByteArray& mimeType);
    void serve(int fd);
    void dropSource();

    std::shared_ptr<WaylandConnection> m_connection;
    zwlr_data_control_device_v1* m_device = nullptr;
    zwlr_data_control_source_v1* m_source = nullptr;
    /** Offers being described (their MIME types) until the selection event names one. */
    QHash<zwlr_data_control_offer_v1*, QStringList> m_offers;
    zwlr_data_control_offer_v1* m_selection = nullptr;
    std::optional<QString> m_text;
    QByteArray m_served;
    /** Counts selections, so that a transfer overtaken by a newer one is dropped. */
    quint64 m_generation = 0;
};
