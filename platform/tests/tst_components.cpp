#include "core/timer.h"
#include "platform/loginitem.h"
#include "platform/platformbackend.h"
#include "platform/wayland/waylandwindowtracker.h"

#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

bool validDesktopFile(const QString& path, QString* output) {
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(u"desktop-file-validate"_s, {path});
    if (!validator.waitForFinished(10000))
        return false;
    *output = QString::fromUtf8(validator.readAll());
    return validator.exitCode() == 0 && output->trimmed().isEmpty();
}

} // namespace

class PlatformComponentsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    void init() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        QFile::remove(LoginItem::autostartFilePath());
    }

    void enablingTwiceLeavesOneValidEntry() {
        QCOMPARE(LoginItem::autostartFilePath(),
                 m_config.path() + u"/autostart/org.orvane.Orvane.desktop"_s);
        LoginItem::setEnabled(true);
        LoginItem::setEnabled(true);
        QVERIFY(LoginItem::isEnabled());
        // Valid, like the application's own entry.
        QString problems;
        for (const QString& path :
             {LoginItem::autostartFilePath(), QStringLiteral(ORVANE_DESKTOP_FILE)})
            QVERIFY2(validDesktopFile(path, &problems), qPrintable(problems));
        QFile entry(LoginItem::autostartFilePath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray exec = "Exec=" + QCoreApplication::applicationFilePath().toUtf8() + '\n';
        QVERIFY(entry.readAll().contains(exec));

        // A user who hid the entry in the desktop's settings turned it off.
        entry.close();
        QVERIFY(entry.open(QIODevice::Append));
        entry.write("Hidden=true\n");
        entry.close();
        QVERIFY(!LoginItem::isEnabled());
        LoginItem::setEnabled(true);
        QVERIFY(LoginItem::isEnabled());

        LoginItem::setEnabled(false);
        QVERIFY(!LoginItem::isEnabled());
        QVERIFY(!QFile::exists(LoginItem::autostartFilePath()));
    }

    void withoutX11TheBackendDegradesAndSaysWhy() {
        QCOMPARE(QGuiApplication::platformName(), u"offscreen"_s);
        SystemTimerSource timers;
        const PlatformBackend backend = PlatformBackend::create(timers);
        QVERIFY(!backend.isComplete());
        QVERIFY(backend.unavailableReason.contains(u"orvane --check"_s));
        // A capture waits for this even where no key can go out.
        bool ready = false;
        backend.keyboardManager->whenModifiersReleased([&] { ready = true; });
        QTRY_VERIFY(ready);

        // Dark or light follows the palette, with no desktop portal to ask.
        const QPalette original = QGuiApplication::palette();
        QPalette palette = original;
        palette.setColor(QPalette::Window, QColor(30, 30, 30));
        QGuiApplication::setPalette(palette);
        QVERIFY(backend.appearance->isDark());
        palette.setColor(QPalette::Window, QColor(240, 240, 240));
        QGuiApplication::setPalette(palette);
        QVERIFY(!backend.appearance->isDark());
        QGuiApplication::setPalette(original);
    }

    // Without the compositor's window list the window in front is whichever gets the
    // focus back: a paste target that is always there and comes back by itself.
    void withoutAWindowListThePasteGoesWhereTheFocusReturns() {
        SystemTimerSource timers;
        WaylandWindowTracker tracker(nullptr, timers);
        QVERIFY(!tracker.tracksWindows());
        const std::optional<RunningApp> front = tracker.frontmostApp();
        QVERIFY(front && front->windowId != 0);
        QVERIFY(!tracker.isOwnApp(*front));
        QVERIFY(tracker.isAlive(*front));
        std::optional<bool> activated;
        tracker.activate(*front, [&](bool active) { activated = active; });
        QTRY_VERIFY(activated.has_value());
        QVERIFY(*activated);

        QWindow window;
        window.show();
        window.requestActivate();
        QTRY_VERIFY(QGuiApplication::focusWindow());
        QVERIFY(tracker.isOwnApp(*tracker.frontmostApp()));
    }
};

QTEST_MAIN(PlatformComponentsTest)
#include "tst_components.moc"
