#pragma once

#include "platform/hotkeygrabber.h"
#include "platform/x11/x11display.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QObject>

#include <map>
#include <memory>

/**
 * Passive key grabs on the root window. Each combination is grabbed with every
 * CapsLock, NumLock and ScrollLock variant through checked requests, so a refusal
 * (another client holds it) is seen before the grab counts. Grabs are made again
 * when the keyboard mapping or layout changes.
 */
class X11HotkeyGrabber final : public QObject,
                               public HotkeyGrabberProtocol,
                               public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit X11HotkeyGrabber(std::shared_ptr<X11Display> display);
    ~X11HotkeyGrabber() override;

    bool grab(quint32 id, int keyCode, quint64 flags) override;
    void ungrab(quint32 id) override;
    [[nodiscard]] bool isTaken(int keyCode, quint64 flags) override;
    void setHandler(Handler handler) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Combination {
        QList<xcb_keycode_t> keycodes;
        quint16 modifiers = 0;
        bool valid = false;
    };
    struct Grab {
        int keyCode = 0;
        quint64 flags = 0;
        Combination combination;
    };
    using Key = std::pair<xcb_keycode_t, quint16>;

    Combination resolve(int keyCode, quint64 flags);
    [[nodiscard]] QList<quint16> lockVariants() const;
    /** Grabs the keys not yet held by us; on refusal undoes them and returns false. */
    bool grabKeys(const Combination& combination);
    void ungrabKeys(const Combination& combination);
    void refreshMasks();
    void scheduleRegrab();
    void regrab();
    void keyEvent(xcb_keycode_t keycode, quint16 state, quint32 time, bool pressed);

    std::shared_ptr<X11Display> m_display;
    X11Display::Masks m_masks;
    std::map<quint32, Grab> m_grabs;
    std::map<Key, int> m_heldKeys;
    QHash<xcb_keycode_t, QList<quint32>> m_pressed;
    Handler m_handler;
    quint8 m_xkbEventBase = 0;
    quint8 m_layout = 0;
    bool m_regrabPending = false;
};
