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

    /** A name bound while it lives, counting its presses and releases. */
    struct Binding : QObject {
        Name name{QString()};
        int downs = 0;
        int ups = 0;
    };
    std::unique_ptr<Binding> bind(const QString& raw, const QString& hotkey = {}) {
        auto binding = std::make_unique<Binding>();
        binding->name = Name(raw);
        if (!hotkey.isEmpty())
            m_registry->store(HotkeyText::toShortcut(hotkey), binding->name);
        m_registry->bind(binding->name, binding.get());
        Binding* b = binding.get();
        connect(m_registry.get(), &Registry::triggered, b,
                [b, raw](const QString& n) { b->downs += n == raw; });
        connect(m_registry.get(), &Registry::released, b,
                [b, raw](const QString& n) { b->ups += n == raw; });
        return binding;
    }

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
        const auto hotkey = bind(u"WindowHotkey"_s, u"command+option+k"_s);
        const int& downs = hotkey->downs;
        const int& ups = hotkey->ups;

        const auto letGo = qScopeGuard([] { xdotool(u"keyup"_s, u"ctrl+alt+k"_s); });
        QVERIFY(xdotool(u"keydown"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(downs, 1);
        QCOMPARE(ups, 0);
        QVERIFY(xdotool(u"keyup"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(ups, 1);
        QCOMPARE(downs, 1);

        const std::shared_ptr<X11Display> display = X11Display::open();
        QVERIFY(display);
        QVERIFY(xdotool(u"key"_s, u"Num_Lock"_s));
        const auto numLockOff = qScopeGuard([display] {
            if (numLockOn(*display))
                xdotool(u"key"_s, u"Num_Lock"_s);
        });
        QTRY_VERIFY(numLockOn(*display));
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+k"_s));
        QTRY_COMPARE(ups, 2);
        QCOMPARE(downs, 2);

        // Other keys still reach the editor, the hotkey never did.
        QVERIFY(xdotool(u"key"_s, u"ctrl+End"_s));
        QVERIFY(EditorSession::xdotool({u"type"_s, u"k"_s}));
        QCOMPARE(editor.saveAndRead("unchanged\nk"), QByteArray("unchanged\nk"));

        m_registry->store(std::nullopt, hotkey->name);
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+k"_s));
        QTest::qWait(200);
        QCOMPARE(downs, 2);
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
        const auto taken = bind(u"TakenHotkey"_s);
        const qint64 before = m_layer->lastIdentifier();
        m_registry->store(wanted, taken->name);
        QCOMPARE(m_layer->lastIdentifier(), before + 1);
        QVERIFY(!m_layer->hotKeys().contains(before + 1));
        QVERIFY(xdotool(u"key"_s, u"ctrl+alt+j"_s));
        QTest::qWait(200);
        QCOMPARE(taken->downs, 0);

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
