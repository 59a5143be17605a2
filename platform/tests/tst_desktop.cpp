#include "core/timer.h"
#include "editorsession.h"
#include "platform/pasteboardmanager.h"
#include "platform/platformbackend.h"
#include "platform/x11/x11display.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QTest>

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
        return EditorSession::xdotool({QStringLiteral("key"), QStringLiteral("--delay"),
                                       QStringLiteral("30"), QStringLiteral("ctrl+Home"),
                                       QStringLiteral("shift+End")});
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

    bool paste(const QString& text, bool insertBelow) {
        bool done = false;
        m_manager->pasteText({text, std::nullopt, std::nullopt}, insertBelow, [&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, 5000);
    }

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_backend = PlatformBackend::create(m_timers);
        QVERIFY2(m_backend->isComplete(), qPrintable(m_backend->unavailableReason));
        QVERIFY(m_backend->permissionsManager->isTrusted(true));
        QVERIFY(!m_backend->permissionsManager->accessibilityUrl());
        m_manager = std::make_unique<PasteboardManager>(
            *m_backend->windowTracker, *m_backend->keyboardManager, *m_backend->clipboard,
            m_timers);
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
        QCOMPARE(front->windowClass, QStringLiteral("Mousepad"));
        QVERIFY(!m_backend->windowTracker->isOwnApp(*front));

        QVERIFY(selectFirstLine());
        const Capture selected = capture();
        QVERIFY(selected.done);
        QCOMPARE(selected.app->windowId, editor.window().windowId);
        QVERIFY(selected.item);
        QCOMPARE(selected.item->text, QStringLiteral("Hello world"));

        QVERIFY(EditorSession::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+End")}));
        const Capture nothing = capture();
        QVERIFY(nothing.done);
        QCOMPARE(nothing.app->windowId, editor.window().windowId);
        QVERIFY2(!nothing.item, "the previous capture must not come back");

        QVERIFY(selectFirstLine());
        // As right after pressing Ctrl+Alt+C: the user has not let go yet.
        // Let go in any case, so that a failure here leaves the next test a clean keyboard.
        const auto letGo = qScopeGuard([] {
            EditorSession::xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+alt")});
        });
        QVERIFY(EditorSession::xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+alt")}));
        const Capture held = capture();
        QVERIFY(held.item);
        QCOMPARE(held.item->text, QStringLiteral("Hello world"));

        const std::shared_ptr<X11Display> display = X11Display::open();
        QVERIFY(display);
        const QList<xcb_keycode_t> modifiers = display->modifierKeycodes();
        for (xcb_keycode_t code : display->pressedKeycodes())
            QVERIFY2(!modifiers.contains(code), "a modifier stayed down");

        // Typing now must produce plain text, not shortcuts.
        QVERIFY(EditorSession::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+End")}));
        QVERIFY(EditorSession::xdotool({QStringLiteral("type"), QStringLiteral("ok")}));
        QCOMPARE(editor.saveAndRead(original + "ok"), original + "ok");
    }

    void pasteReplacesOrInsertsBelowTheSelection() {
        EditorSession editor(original);
        QVERIFY(editor.isReady());
        QVERIFY(selectFirstLine());
        QVERIFY(paste(QStringLiteral("Goodbye"), false));
        QCOMPARE(editor.saveAndRead("Goodbye\nSecond line\n"),
                 QByteArray("Goodbye\nSecond line\n"));
        QCOMPARE(m_backend->clipboard->text(), QStringLiteral("Goodbye"));

        QVERIFY(selectFirstLine());
        QVERIFY(paste(QStringLiteral(" and more"), true));
        QCOMPARE(editor.saveAndRead("Goodbye and more\nSecond line\n"),
                 QByteArray("Goodbye and more\nSecond line\n"));
        QCOMPARE(m_backend->clipboard->text(), QStringLiteral(" and more"));
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
