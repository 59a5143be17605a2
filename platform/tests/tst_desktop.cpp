#include "core/timer.h"
#include "editorsession.h"
#include "platform/pasteboardmanager.h"
#include "platform/platformbackend.h"
#include "platform/x11/x11display.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray original = "Hello world\nSecond line\n";

struct Capture {
    bool done = false;
    std::optional<RunningApp> app;
    std::optional<PasteboardManagerCopyItem> item;
};

} // namespace

/** Capture and paste against a real editor in a real X server. */
class PlatformDesktopTest : public QObject {
    Q_OBJECT

    SystemTimerSource m_timers;
    std::optional<PlatformBackend> m_backend;
    std::unique_ptr<PasteboardManager> m_manager;

    bool selectFirstLine() {
        return EditorSession::xdotool(
            {u"key"_s, u"--delay"_s, u"30"_s, u"ctrl+Home"_s, u"shift+End"_s});
    }

    Capture capture() {
        Capture result;
        m_manager->copySelection([&result](std::optional<RunningApp> app,
                                           std::optional<PasteboardManagerCopyItem> item) {
            result = {true, std::move(app), std::move(item)};
        });
        if (!QTest::qWaitFor([&] { return result.done; }, 5000))
            qWarning("capture did not finish");
        return result;
    }

    bool paste(const QString& text) {
        bool done = false;
        m_manager->pasteText({text, std::nullopt, std::nullopt}, [&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, 5000);
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        m_backend = PlatformBackend::create(m_timers);
        QVERIFY2(m_backend->isComplete(), qPrintable(m_backend->unavailableReason));
        QVERIFY(m_backend->permissionsManager->isTrusted(true));
        QVERIFY(!m_backend->permissionsManager->accessibilityUrl());
        m_manager = std::make_unique<PasteboardManager>(*m_backend->windowTracker,
                                                        *m_backend->keyboardManager,
                                                        *m_backend->clipboard, m_timers);
        // Generous on a loaded machine; a capture with text ends as soon as it arrives.
        m_manager->setCaptureTimeout(600ms);
    }

    void cleanupTestCase() {
        m_manager.reset();
        m_backend.reset();
    }

    void captureTakesTheSelectionEvenWithTheHotkeyHeldOrFindsNothing() {
        EditorSession editor(original);
        QVERIFY(editor.isReady());
        const std::optional<RunningApp> front = m_backend->windowTracker->frontmostApp();
        QVERIFY(front);
        QCOMPARE(front->windowId, editor.window().windowId);
        QCOMPARE(front->windowClass, u"Mousepad"_s);
        QVERIFY(!m_backend->windowTracker->isOwnApp(*front));

        QVERIFY(selectFirstLine());
        const Capture selected = capture();
        QVERIFY(selected.done);
        QCOMPARE(selected.app->windowId, editor.window().windowId);
        QVERIFY(selected.item);
        QCOMPARE(selected.item->text, u"Hello world"_s);

        QVERIFY(EditorSession::xdotool({u"key"_s, u"ctrl+End"_s}));
        const Capture nothing = capture();
        QVERIFY(nothing.done);
        QCOMPARE(nothing.app->windowId, editor.window().windowId);
        QVERIFY2(!nothing.item, "the previous capture must not come back");

        QVERIFY(selectFirstLine());
        // As right after pressing Ctrl+Alt+C: the user has not let go yet.
        // Let go in any case, so that a failure here leaves the next test a clean keyboard.
        const auto letGo = qScopeGuard([] { EditorSession::xdotool({u"keyup"_s, u"ctrl+alt"_s}); });
        QVERIFY(EditorSession::xdotool({u"keydown"_s, u"ctrl+alt"_s}));
        const Capture held = capture();
        QVERIFY(held.item);
        QCOMPARE(held.item->text, u"Hello world"_s);

        const std::shared_ptr<X11Display> display = X11Display::open();
        QVERIFY(display);
        const QList<xcb_keycode_t> modifiers = display->modifierKeycodes();
        for (xcb_keycode_t code : display->pressedKeycodes())
            QVERIFY2(!modifiers.contains(code), "a modifier stayed down");

        // Typing now must produce plain text, not shortcuts.
        QVERIFY(EditorSession::xdotool({u"key"_s, u"ctrl+End"_s}));
        QVERIFY(EditorSession::xdotool({u"type"_s, u"ok"_s}));
        QCOMPARE(editor.saveAndRead(original + "ok"), original + "ok");
    }

    void pasteReplacesTheSelection() {
        EditorSession editor(original);
        QVERIFY(editor.isReady());
        QVERIFY(selectFirstLine());
        QVERIFY(paste(u"Goodbye"_s));
        QCOMPARE(editor.saveAndRead("Goodbye\nSecond line\n"),
                 QByteArray("Goodbye\nSecond line\n"));
        QCOMPARE(m_backend->clipboard->text(), u"Goodbye"_s);

        QVERIFY(selectFirstLine());
        // Insert below pastes the selection, a line break and the answer.
        QVERIFY(paste(u"Goodbye\nand more"_s));
        QCOMPARE(editor.saveAndRead("Goodbye\nand more\nSecond line\n"),
                 QByteArray("Goodbye\nand more\nSecond line\n"));
        QCOMPARE(m_backend->clipboard->text(), u"Goodbye\nand more"_s);
    }

    void activationBringsAWindowBackAndConfirmsIt() {
        EditorSession first(original);
        QVERIFY(first.isReady());
        EditorSession second("other\n");
        QVERIFY(second.isReady());
        QCOMPARE(m_backend->windowTracker->frontmostApp()->windowId, second.window().windowId);

        std::optional<bool> confirmed;
        m_backend->windowTracker->activate(first.window(), [&](bool ok) { confirmed = ok; });
        QVERIFY(QTest::qWaitFor([&] { return confirmed.has_value(); }, 3000));
        QVERIFY(*confirmed);
        QCOMPARE(m_backend->windowTracker->frontmostApp()->windowId, first.window().windowId);
    }
};

QTEST_MAIN(PlatformDesktopTest)
#include "tst_desktop.moc"
