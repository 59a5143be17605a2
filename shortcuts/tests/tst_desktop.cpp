#include "core/timer.h"
#include "editorsession.h"
#include "platform/platformbackend.h"
#include "platform/x11/x11display.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "shortcuts/systemhotkeys.h"
#include "temporarysettings.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>

using namespace Shortcuts;
using namespace Qt::StringLiterals;

/** Global hotkeys in a real X server while a real editor has the focus. */
class ShortcutsDesktopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TemporarySettings> m_settings;
    SystemTimerSource m_timers;
    std::optional<PlatformBackend> m_backend;
    std::unique_ptr<SystemHotkeys> m_layer;
    std::unique_ptr<Registry> m_registry;

    static bool xdotool(const QString& command, const QString& keys) {
        return EditorSession::xdotool({command, keys});
    }

    static bool numLockOn(X11Display& display) {
        const X11Display::Masks masks = display.modifierMasks();
        auto* pointer = xcb_query_pointer_reply(
            display.connection(), xcb_query_pointer(display.connection(), display.root()), nullptr);
        const bool on = pointer && masks.numLock && (pointer->mask & masks.numLock);
        std::free(pointer);
        return on;
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        m_settings = std::make_unique<TemporarySettings>();
        m_backend = PlatformBackend::create(m_timers);
        QVERIFY2(m_backend->isComplete(), qPrintable(m_backend->unavailableReason));
        m_layer = std::make_unique<SystemHotkeys>(*m_backend->hotkeyGrabber);
        m_registry = std::make_unique<Registry>(m_layer.get());
    }

    void cleanupTestCase() {
        m_registry.reset();
        m_layer.reset();
        m_backend.reset();
    }

    void aHotkeyFiresOnPressAndReleaseAlsoWithNumLock() {
        EditorSession editor("unchanged\n");
        QVERIFY(editor.isReady());
        const Name hotkey(u"WindowHotkey"_s);
        QObject owner;
        m_registry->store(HotkeyText::toShortcut(u"command+option+k"_s), hotkey);
        m_registry->bind(hotkey, &owner);
        QSignalSpy downs(m_registry.get(), &Registry::triggered);
        QSignalSpy ups(m_registry.get(), &Registry::released);

        const auto letGo = qScopeGuard([] { xdotool(u"keyup"_s, u"ctrl+alt+k"_s); });
        QVERIFY(xdotool(u"keydown"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(downs.count(), 1);
        QCOMPARE(ups.count(), 0);
        QVERIFY(xdotool(u"keyup"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(ups.count(), 1);
        QCOMPARE(downs.count(), 1);

        const std::shared_ptr<X11Display> display = X11Display::open();
        QVERIFY(display);
        QVERIFY(xdotool(u"key"_s, u"Num_Lock"_s));
        const auto numLockOff = qScopeGuard([display] {
            if (numLockOn(*display))
                xdotool(u"key"_s, u"Num_Lock"_s);
        });
        QTRY_VERIFY(numLockOn(*display));
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(ups.count(), 2);
        QCOMPARE(downs.count(), 2);

        // Other keys still reach the editor, the hotkey never did.
        QVERIFY(xdotool(u"key"_s, u"ctrl+End"_s));
        QVERIFY(EditorSession::xdotool({u"type"_s, u"k"_s}));
        QCOMPARE(editor.saveAndRead("unchanged\nk"), QByteArray("unchanged\nk"));

        m_registry->store(std::nullopt, hotkey);
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+k"_s));
        QTest::qWait(200);
        QCOMPARE(downs.count(), 2);
    }

    void aCombinationHeldByAnotherClientIsRefusedAndTaken() {
        const std::shared_ptr<X11Display> other = X11Display::open();
        QVERIFY(other);
        const Shortcut wanted = *HotkeyText::toShortcut(u"command+option+j"_s);
        const QList<xcb_keycode_t> keycodes = other->keycodesFor('j');
        QCOMPARE(keycodes.size(), 1);
        xcb_generic_error_t* error = xcb_request_check(
            other->connection(),
            xcb_grab_key_checked(other->connection(), 0, other->root(),
                                 XCB_MOD_MASK_CONTROL | other->modifierMasks().alt,
                                 keycodes.first(), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        QVERIFY(!error);

        QVERIFY(m_layer->isTaken(wanted));
        const Name taken(u"TakenHotkey"_s);
        QObject owner;
        m_registry->bind(taken, &owner);
        QSignalSpy downs(m_registry.get(), &Registry::triggered);
        const qint64 before = m_layer->lastIdentifier();
        m_registry->store(wanted, taken);
        QCOMPARE(m_layer->lastIdentifier(), before + 1);
        QVERIFY(!m_layer->hotKeys().contains(before + 1));
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+j"_s));
        QTest::qWait(200);
        QCOMPARE(downs.count(), 0);

        // Free combinations and our own are not taken.
        const Shortcut free = *HotkeyText::toShortcut(u"command+option+shift+9"_s);
        QVERIFY(!m_layer->isTaken(free));
        QVERIFY(m_layer->registerShortcut(free, {}, {}));
        QVERIFY(!m_layer->isTaken(free));
        m_layer->unregisterShortcut(free);
    }
};

QTEST_MAIN(ShortcutsDesktopTest)
#include "tst_desktop.moc"
