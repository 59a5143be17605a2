#include "platform/x11/x11clipboardrequests.h"

#include "platform/clipboard.h"
#include "platform/x11/x11display.h"

#include <QCoreApplication>

X11ClipboardRequests::X11ClipboardRequests(const std::shared_ptr<X11Display>& display,
                                           ClipboardProtocol& clipboard)
    : QObject(&clipboard)
    , m_clipboard(clipboard)
    , m_clipboardAtom(display->atom("CLIPBOARD"))
    , m_primaryAtom(display->atom("PRIMARY"))
    , m_targetsAtom(display->atom("TARGETS")) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ClipboardRequests::~X11ClipboardRequests() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11ClipboardRequests::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
    // Asking only which formats there are is not yet taking the data.
    if ((request->selection == m_clipboardAtom || request->selection == m_primaryAtom) &&
        request->target != m_targetsAtom)
        Q_EMIT m_clipboard.dataRequested();
    return false; // Qt still answers the request
}
