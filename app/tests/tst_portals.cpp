// The desktop-portal paths against a scripted portal on a private session bus, the
// capability report, and the command line's --trigger and --check.

#include "core/settingsstore.h"
#include "core/timer.h"
#include "platform/capabilities.h"
#include "platform/portal/portalglobalshortcuts.h"
#include "platform/portal/portalkeyboard.h"
#include "platform/portal/portalsession.h"
#include "shortcuts/desktopshortcuts.h"
#include "shortcuts/hotkeytext.h"
#include "shortcuts/shortcuts.h"
#include "temporarysettings.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <xkbcommon/xkbcommon-keysyms.h>

using namespace Qt::StringLiterals;

// Outside any anonymous namespace: D-Bus finds the adaptor's parameter types by name.
struct BoundShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const BoundShortcut& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BoundShortcut& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

Q_DECLARE_METATYPE(BoundShortcut)
Q_DECLARE_METATYPE(Presence)
Q_DECLARE_METATYPE(SessionInfo::Server)

namespace {

/** What the scripted portal was asked, readable from the test's thread. */
struct PortalLog {
    QMutex mutex;
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

/** Answers a request the way portals do: the handle at once, the Response after it. */
QDBusObjectPath respond(QDBusConnection bus, const QDBusMessage& call, const QVariantMap& options,
                        QVariantMap results) {
    QString sender = call.service().mid(1);
    sender.replace(u'.', u'_');
    const QString path = u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' +
                         options.value(u"handle_token"_s).toString();
    QTimer::singleShot(0, [bus, path, results]() mutable {
        QDBusMessage response =
            QDBusMessage::createSignal(path, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response << 0u << results;
        bus.send(response);
    });
    return QDBusObjectPath(path);
}

QString sessionPath(const QVariantMap& options) {
    return u"/org/freedesktop/portal/desktop/session/"_s +
           options.value(u"session_handle_token"_s).toString();
}

class ScriptedGlobalShortcuts final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    ScriptedGlobalShortcuts(QObject* parent, QDBusConnection bus, PortalLog& log)
        : QDBusAbstractAdaptor(parent)
        , m_bus(std::move(bus))
        , m_log(log) {}

    [[nodiscard]] uint version() const { return 1; }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& call) {
        m_session = sessionPath(options);
        return respond(m_bus, call, options, {{u"session_handle"_s, m_session}});
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session,
                                  const QList<BoundShortcut>& shortcuts, const QString&,
                                  const QVariantMap& options, const QDBusMessage& call) {
        QStringList bound;
        for (const BoundShortcut& entry : shortcuts)
            bound << entry.id + u'|' + entry.properties.value(u"description"_s).toString() + u'|' +
                         entry.properties.value(u"preferred_trigger"_s).toString();
        if (session.path() == m_session) {
            QMutexLocker lock(&m_log.mutex);
            m_log.bindings.append(bound);
        }
        return respond(m_bus, call, options, {});
    }
    void activate(const QString& id) {
        QDBusMessage signal =
            QDBusMessage::createSignal(u"/org/freedesktop/portal/desktop"_s,
                                       u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(m_session)) << id << qulonglong(1)
               << QVariantMap();
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
    PortalLog& m_log;
    QString m_session;
};

class ScriptedRemoteDesktop final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
    Q_PROPERTY(uint version READ version)

public:
    ScriptedRemoteDesktop(QObject* parent, QDBusConnection bus, PortalLog& log)
        : QDBusAbstractAdaptor(parent)
        , m_bus(std::move(bus))
        , m_log(log) {}

    [[nodiscard]] uint version() const { return 2; }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& call) {
        return respond(m_bus, call, options, {{u"session_handle"_s, sessionPath(options)}});
    }
    QDBusObjectPath SelectDevices(const QDBusObjectPath&, const QVariantMap& options,
                                  const QDBusMessage& call) {
        QVariantMap kept = options;
        kept.remove(u"handle_token"_s);
        QMutexLocker lock(&m_log.mutex);
        m_log.deviceSelections.append(kept);
        return respond(m_bus, call, options, {});
    }
    QDBusObjectPath Start(const QDBusObjectPath&, const QString&, const QVariantMap& options,
                          const QDBusMessage& call) {
        QMutexLocker lock(&m_log.mutex);
        const QString token = u"token-%1"_s.arg(++m_log.starts);
        return respond(m_bus, call, options, {{u"devices"_s, 1u}, {u"restore_token"_s, token}});
    }
    void NotifyKeyboardKeysym(const QDBusObjectPath&, const QVariantMap&, int keysym, uint state) {
        QMutexLocker lock(&m_log.mutex);
        m_log.keys << u"%1:%2"_s.arg(keysym, 0, 16).arg(state);
    }

private:
    QDBusConnection m_bus;
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
    QObject* m_portal = nullptr;
    ScriptedGlobalShortcuts* m_shortcuts = nullptr;
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
        qDBusRegisterMetaType<BoundShortcut>();
        qDBusRegisterMetaType<QList<BoundShortcut>>();
        QDBusConnection service = QDBusConnection::connectToBus(m_bus.address(), u"portal"_s);
        QVERIFY(service.isConnected());
        // The portal answers from its own thread, so blocking calls of the code under
        // test do not wait on the thread that has to answer them.
        m_portal = new QObject;
        m_shortcuts = new ScriptedGlobalShortcuts(m_portal, service, m_log);
        new ScriptedRemoteDesktop(m_portal, service, m_log);
        m_portal->moveToThread(&m_portalThread);
        m_portalThread.start();
        QVERIFY(service.registerObject(PortalSession::path, m_portal));
        QVERIFY(service.registerService(PortalSession::service));
        m_client = QDBusConnection::connectToBus(m_bus.address(), u"client"_s);
        QVERIFY(m_client.isConnected());
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
            QMetaObject::invokeMethod(m_shortcuts, [this, id] { m_shortcuts->activate(id); });
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

    void mechanismsFollowWhatTheSessionOffers_data() {
        QTest::addColumn<SessionInfo::Server>("server");
        QTest::addColumn<Presence>("presence");
        QTest::addColumn<QStringList>("lines");

        Presence x11;
        x11.x11Reachable = x11.xtest = x11.activeWindowHint = true;
        QTest::newRow("x11") << SessionInfo::Server::x11 << x11
                             << QStringList{u"Global hotkeys: available (X11 key grabs)"_s,
                                            u"Key injection: available (XTest)"_s,
                                            u"Window tracking: available"_s};
        Presence portals;
        portals.globalShortcutsPortal = 1;
        portals.remoteDesktopPortal = 2;
        QTest::newRow("wayland with portals")
            << SessionInfo::Server::wayland << portals
            << QStringList{u"Global hotkeys: available (the desktop's GlobalShortcuts portal)"_s,
                           u"Key injection: available (the desktop's RemoteDesktop portal"_s,
                           u"Clipboard access: available (only while an Orvane window"_s,
                           u"Window tracking: missing"_s, u"gets the focus back"_s};
        Presence wlroots;
        wlroots.virtualKeyboard = wlroots.dataControl = true;
        wlroots.remoteDesktopPortal = 2;
        QTest::newRow("wlroots")
            << SessionInfo::Server::wayland << wlroots
            << QStringList{u"Global hotkeys: missing"_s, u"\"orvane --trigger widget\""_s,
                           u"Key injection: available (the compositor's virtual keyboard)"_s,
                           u"Clipboard access: available (the compositor's data-control"_s};
        QTest::newRow("no display server")
            << SessionInfo::Server::none << x11
            << QStringList{u"Global hotkeys: missing (no display server)"_s,
                           u"Key injection: missing"_s, u"Start Orvane inside"_s};
    }

    void mechanismsFollowWhatTheSessionOffers() {
        QFETCH(SessionInfo::Server, server);
        QFETCH(Presence, presence);
        QFETCH(QStringList, lines);
        SessionInfo session;
        session.waylandDisplay =
            server == SessionInfo::Server::wayland ? u"wayland-1"_s : QString();
        session.display = server == SessionInfo::Server::x11 ? u":1"_s : QString();
        const QString text =
            CapabilityReport::build(session, Mechanisms::choose(server, presence)).toText();
        for (const QString& line : std::as_const(lines))
            QVERIFY2(text.contains(line), qPrintable(text));
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
                           u"Key injection: available (the desktop's RemoteDesktop portal"_s};
        QTest::newRow("x11") << u"x11"_s
                             << QStringList{u"Display server: X11"_s,
                                            u"Global hotkeys: available (X11 key grabs)"_s,
                                            u"Key injection: available (XTest)"_s};
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

        const QList<std::pair<QString, QString>> answers{
            // Nobody is signed in: the widget's hotkeys are not bound, exactly as with keys.
            {u"widget"_s, u"not available right now"_s},
            {u"prompt:3"_s, u"not available right now"_s},
            {u"menu"_s, u"unknown action \"menu\""_s}};
        for (const auto& [action, answer] : answers) {
            run = runOrvane({u"--trigger"_s, action}, environment);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.output.contains(answer), qPrintable(run.output));
        }

        // A second start hands over to the first and leaves it running.
        QCOMPARE(runOrvane({}, offscreen).exitCode, 0);
        QCOMPARE(instance.state(), QProcess::Running);
        instance.terminate();
        QVERIFY(instance.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestPortals)
#include "tst_portals.moc"
