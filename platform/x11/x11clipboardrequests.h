#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <memory>

class ClipboardProtocol;
class X11Display;

/**
 * Tells the clipboard when another client asks for the data this process owns on the
 * CLIPBOARD or PRIMARY selection: the sign that a paste reached its target. Lives as a child of
 * the clipboard it reports to.
 */
class X11ClipboardRequests final : public QObject, public QAbstractNativeEventFilter {
public:
    X11ClipboardRequests(const std::shared_ptr<X11Display>& display, ClipboardProtocol& clipboard);
    ~X11ClipboardRequests() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    ClipboardProtocol& m_clipboard;
    quint32 m_clipboardAtom;
    quint32 m_primaryAtom;
    quint32 m_targetsAtom;
};
