#include "platform/x11/x11clipboard.h"

#include "platform/x11/x11clipboardrequests.h"
#include "platform/x11/x11display.h"

#include <cstdlib>
#include <memory>
#include <xcb/res.h>

namespace {

const char* selectionName(Selection selection) {
    return selection == Selection::primary ? "PRIMARY" : "CLIPBOARD";
}

} // namespace

X11Clipboard::X11Clipboard(std::shared_ptr<X11Display> display, QObject* parent)
    : QtClipboard(parent)
    , m_display(std::move(display)) {
    new X11ClipboardRequests(m_display, *this);
}

X11Clipboard::~X11Clipboard() = default;

void X11Clipboard::readText(Selection selection,
                            std::function<void(std::optional<QString>)> done) const {
    m_reader.read(
        selectionName(selection), {"UTF8_STRING", "text/plain;charset=utf-8", "STRING"},
        const_cast<X11Clipboard*>(this), [done = std::move(done)](const ClipboardContent& content) {
            if (content.formats.isEmpty()) {
                done(std::nullopt);
                return;
            }
            const auto& [format, bytes] = content.formats.constFirst();
            done(format == "STRING" ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes));
        });
}

void X11Clipboard::save(Selection selection, std::function<void(ClipboardContent)> done) const {
    m_reader.read(selectionName(selection), {}, const_cast<X11Clipboard*>(this), std::move(done));
}

std::optional<qint64> X11Clipboard::ownerProcess(Selection selection) const {
    xcb_connection_t* connection = m_display->connection();
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(
            connection,
            xcb_get_selection_owner(connection, m_display->atom(selectionName(selection))),
            nullptr),
        &std::free);
    if (!owner || owner->owner == XCB_NONE)
        return std::nullopt;
    // Any resource id names its client; the server knows the pid of local clients.
    xcb_res_client_id_spec_t spec{owner->owner, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const std::unique_ptr<xcb_res_query_client_ids_reply_t, decltype(&std::free)> reply(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &spec),
                                       nullptr),
        &std::free);
    if (!reply)
        return std::nullopt;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && it.data->length >= 4)
            return *xcb_res_client_id_value_value(it.data);
    }
    return std::nullopt;
}
