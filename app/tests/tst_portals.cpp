// The desktop-portal paths against a scripted portal on a private session bus, the
// capability report, and the command line's --trigger and --check.

#include "core/settingsstore.h"
#include "core/timer.h"
#include "platform/portal/portalglobalshortcuts.h"
#include "platform/portal/portalkeyboard.h"
#include "platform/portal/portalsession.h"
#include "shortcuts/desktopshortcuts.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "temporarysettings.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

/** What the scripted portal was asked, readable from the test's thread. */
struct PortalLog {
    QMutex mutex;
    QString shortcutsSession;
    QList<QStringList> bindings;
    QList<QVariantMap> deviceSelections;
    QStringList keys;
    int starts = 0;

    template <typename T>
    T read(T PortalLog::*member) {
        QMutexLocker lock(&mutex);
        return this->*member;
    }
};

/** "id|description|preferred trigger" of each shortcut in an a(sa{sv}) argument. */
QStringList boundShortcuts(const QDBusArgument& list) {
    QStringList bound;
    list.beginArray();
    while (!list.atEnd()) {
        QString id;
        QVariantMap properties;
        list.beginStructure();
        list >> id >> properties;
        list.endStructure();
        bound << id + u'|' + properties.value(u"description"_s).toString() + u'|' +
                     properties.value(u"preferred_trigger"_s).toString();
    }
    list.endArray();
    return bound;
}

/**
 * The GlobalShortcuts and RemoteDesktop portals as far as Orvane uses them: a request is
 * answered the way portals do, with its handle at once and its Response after it.
 */
class ScriptedPortal final : public QDBusVirtualObject {
public:
    explicit ScriptedPortal(PortalLog& log)
        : m_log(log) {}
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        const QList<QVariant> args = call.arguments();
        const QString method = call.member();
        QMutexLocker lock(&m_log.mutex);
        if (method == u"Get"_s) {
            const uint version = args.value(0).toString() == PortalSession::globalShortcuts ? 1 : 2;
            return bus.send(call.createReply(QVariant::fromValue(QDBusVariant(version))));
        }
        if (method == u"NotifyKeyboardKeysym"_s) {
            m_log.keys << u"%1:%2"_s.arg(args.at(2).toInt(), 0, 16).arg(args.at(3).toUInt());
            return bus.send(call.createReply());
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.value(args.size() - 1));
        QVariantMap results;
        if (method == u"CreateSession"_s) {
            const QString session = u"/org/freedesktop/portal/desktop/session/"_s +
                                    options.value(u"session_handle_token"_s).toString();
            if (call.interface() == PortalSession::globalShortcuts)
                m_log.shortcutsSession = session;
            results.insert(u"session_handle"_s, session);
        } else if (method == u"BindShortcuts"_s) {
            if (args.at(0).value<QDBusObjectPath>().path() == m_log.shortcutsSession)
                m_log.bindings.append(boundShortcuts(args.at(1).value<QDBusArgument>()));
        } else if (method == u"SelectDevices"_s) {
            m_log.deviceSelections.append(options);
            m_log.deviceSelections.last().remove(u"handle_token"_s);
        } else if (method == u"Start"_s) {
            results = {{u"devices"_s, 1u}, {u"restore_token"_s, u"token-%1"_s.arg(++m_log.starts)}};
        } else {
            return false;
        }
        QString sender = call.service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' +
                             options.value(u"handle_token"_s).toString();
        QTimer::singleShot(0, this, [bus, path, results] {
            QDBusMessage response = QDBusMessage::createSignal(
                path, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            response << 0u << results;
            bus.send(response);
        });
        return bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(path))));
    }

private:
    PortalLog& m_log;
};

/** A private dbus-daemon, killed with the test. */
class PrivateBus {
public:
    PrivateBus() {
        m_daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    [[nodiscard]] const QString& address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

struct RunResult {
    int exitCode = -1;
    QString output;
};

RunResult runOrvane(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(ORVANE_APP_BINARY), arguments);
    if (!process.waitForFinished(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class TestPortals final : public QObject {
    Q_OBJECT

private:
    PrivateBus m_bus;
    PortalLog m_log;
    QThread m_portalThread;
    ScriptedPortal* m_portal = nullptr;
    QDBusConnection m_client{u"none"_s};
    TemporarySettings m_settings;
    SystemTimerSource m_timers;

    QProcessEnvironment environmentWithBus() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_bus.address());
        environment.insert(u"XDG_CONFIG_HOME"_s, m_settings.path());
        return environment;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(!m_bus.address().isEmpty(), "dbus-daemon did not start");
        QDBusConnection service = QDBusConnection::connectToBus(m_bus.address(), u"portal"_s);
        // The portal answers from its own thread, so blocking calls of the code under
        // test do not wait on the thread that has to answer them.
        m_portal = new ScriptedPortal(m_log);
        m_portal->moveToThread(&m_portalThread);
        m_portalThread.start();
        QVERIFY(service.registerVirtualObject(PortalSession::path, m_portal));
        QVERIFY(service.registerService(PortalSession::service));
        m_client = QDBusConnection::connectToBus(m_bus.address(), u"client"_s);
    }

    void cleanupTestCase() {
        QMetaObject::invokeMethod(m_portal, &QObject::deleteLater);
        m_portalThread.quit();
        m_portalThread.wait();
    }

    void shortcutsAreBoundByActionAndActivationsTriggerTheirNames() {
        using namespace Shortcuts;
        Registry registry;
        QObject owner;
        const Name window = Names::windowHotkey(HotkeyText::toShortcut(u"command+option+c"_s));
        const Name grammar =
            Names::presetHotkey(7, HotkeyText::toShortcut(u"command+shift+("_s), u"Grammar"_s);
        const Name tone = Names::presetHotkey(9, std::nullopt, u"Tone"_s);
        registry.resetToDefaults({window, Names::windowToggleHotkey(), grammar, tone});
        for (const Name& name : {window, Names::windowToggleHotkey(), grammar, tone})
            registry.bind(name, &owner);

        QCOMPARE(PortalSession::interfaceVersion(PortalSession::globalShortcuts, m_client), 1u);
        PortalGlobalShortcuts desktop(m_client);
        DesktopShortcuts offered(registry, desktop);
        const QStringList expected{
            u"widget|Open Orvane with the selected text|CTRL+ALT+c"_s,
            u"toggle|Show or hide Orvane|CTRL+SHIFT+x"_s,
            u"prompt:7|Run the prompt \u201cGrammar\u201d on the selected text|"
            u"CTRL+SHIFT+bracketleft"_s,
            u"prompt:9|Run the prompt \u201cTone\u201d on the selected text|"_s};
        QTRY_COMPARE(m_log.read(&PortalLog::bindings).value(0), expected);

        QSignalSpy triggered(&registry, &Registry::triggered);
        const QList<std::pair<QString, QString>> activations{
            {u"widget"_s, window.rawValue()},
            {u"toggle"_s, Names::windowToggleHotkey().rawValue()},
            {u"prompt:7"_s, grammar.rawValue()}};
        for (const auto& [id, name] : activations) {
            QDBusMessage signal = QDBusMessage::createSignal(
                PortalSession::path, PortalSession::globalShortcuts, u"Activated"_s);
            signal << QVariant::fromValue(QDBusObjectPath(m_log.read(&PortalLog::shortcutsSession)))
                   << id << qulonglong(1) << QVariantMap();
            QDBusConnection(u"portal"_s).send(signal);
            QTRY_COMPARE(triggered.size(), 1);
            QCOMPARE(triggered.takeFirst().constFirst().toString(), name);
        }

        // A prompt that goes away is no longer offered to the desktop.
        registry.unbind(tone.rawValue());
        QTRY_COMPARE(m_log.read(&PortalLog::bindings).size(), 2);
        QCOMPARE(m_log.read(&PortalLog::bindings).constLast(), expected.mid(0, 3));
    }

    void keysGoThroughThePortalAndTheRestoreTokenIsReused() {
        for (int start = 1; start <= 2; ++start) {
            PortalKeyboard keyboard(m_timers, m_client);
            // Asked for before the session has started: sent once it has.
            keyboard.postKeystroke(9, 0x100000);
            QTRY_VERIFY(keyboard.isStarted());
            QTRY_COMPARE(m_log.read(&PortalLog::keys).size(), 4 * start);
            QCOMPARE(m_log.read(&PortalLog::keys).mid(4 * (start - 1)),
                     QStringList({u"ffe3:1"_s, u"76:1"_s, u"76:0"_s, u"ffe3:0"_s}));

            const QVariantMap selection = m_log.read(&PortalLog::deviceSelections).constLast();
            QCOMPARE(selection.value(u"types"_s).toUInt(), 1u);
            QCOMPARE(selection.value(u"persist_mode"_s).toUInt(), 2u);
            QCOMPARE(selection.value(u"restore_token"_s).toString(),
                     start == 1 ? QString() : u"token-1"_s);
            QCOMPARE(openSettingsStore()->value(PortalKeyboard::restoreTokenKey).toString(),
                     u"token-%1"_s.arg(start));
        }
    }

    void checkReport_data() {
        QTest::addColumn<QString>("session");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no display server")
            << u"none"_s << QStringList{u"Display server: none"_s, u"Global hotkeys: missing"_s};
        QTest::newRow("wayland with portals")
            << u"wayland"_s
            << QStringList{u"Display server: Wayland"_s,
                           u"Global hotkeys: available (the desktop's GlobalShortcuts portal)"_s,
                           u"Key injection: available (the desktop's RemoteDesktop portal"_s,
                           u"Clipboard access: available (only while an Orvane window"_s,
                           u"Window tracking: missing"_s,
                           u"gets the focus back"_s};
        QTest::newRow("x11") << u"x11"_s
                             << QStringList{u"Display server: X11"_s,
                                            u"Global hotkeys: available (X11 key grabs)"_s,
                                            u"Key injection: available (XTest)"_s,
                                            u"Window tracking: available"_s};
    }

    void checkReport() {
        QFETCH(QString, session);
        QFETCH(QStringList, lines);
        QProcessEnvironment environment = environmentWithBus();
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        if (session == u"x11"_s && qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("Needs an X server: runs as app_check_x11 in the desktop session");
        if (session != u"x11"_s)
            environment.remove(u"DISPLAY"_s);
        // A compositor that is not there: the portals still answer on the bus.
        if (session == u"wayland"_s)
            environment.insert(u"WAYLAND_DISPLAY"_s, u"orvane-test-no-compositor"_s);
        const RunResult run = runOrvane({u"--check"_s}, environment);
        QCOMPARE(run.exitCode, 0);
        for (const QString& line : std::as_const(lines))
            QVERIFY2(run.output.contains(line), qPrintable(run.output));
    }

    void triggerReachesOnlyARunningInstance() {
        const QProcessEnvironment environment = environmentWithBus();
        RunResult run = runOrvane({u"--trigger"_s, u"widget"_s}, environment);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains(u"Orvane is not running"_s), qPrintable(run.output));

        QProcess instance;
        QProcessEnvironment offscreen = environment;
        offscreen.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        offscreen.insert(u"ORVANE_SERVICE_URL"_s, u"http://127.0.0.1:9"_s);
        instance.setProcessEnvironment(offscreen);
        instance.start(QStringLiteral(ORVANE_APP_BINARY), {});
        QVERIFY(instance.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_client.interface()->isServiceRegistered(u"org.orvane.Orvane"_s).value(), 20000);

        // Nobody is signed in: the widget's hotkeys are not bound, exactly as with keys.
        run = runOrvane({u"--trigger"_s, u"widget"_s}, environment);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains(u"not available right now"_s), qPrintable(run.output));

        // A second start hands over to the first and leaves it running.
        QCOMPARE(runOrvane({}, offscreen).exitCode, 0);
        QCOMPARE(instance.state(), QProcess::Running);
        instance.terminate();
        QVERIFY(instance.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestPortals)
#include "tst_portals.moc"
