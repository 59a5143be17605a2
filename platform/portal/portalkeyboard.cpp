#include "platform/portal/portalkeyboard.h"

#include "core/settingsstore.h"
#include "core/timer.h"
#include "platform/portal/portalsession.h"
#include "platform/virtualkeys.h"

#include <QDBusObjectPath>

#include <array>
#include <xkbcommon/xkbcommon-keysyms.h>

const QString PortalKeyboard::restoreTokenKey = QStringLiteral("RemoteDesktopRestoreToken");

namespace {

constexpr uint keyboardDevice = 1;
/** Kept until the user revokes it. */
constexpr uint persistUntilRevoked = 2;
constexpr std::chrono::milliseconds releaseWait{300};

struct ModifierKey {
    quint64 flag;
    quint32 keysym;
};

constexpr std::array modifierKeys{ModifierKey{ModifierFlags::command, XKB_KEY_Control_L},
                                  ModifierKey{ModifierFlags::option, XKB_KEY_Alt_L},
                                  ModifierKey{ModifierFlags::shift, XKB_KEY_Shift_L},
                                  ModifierKey{ModifierFlags::control, XKB_KEY_Super_L}};

} // namespace

PortalKeyboard::PortalKeyboard(TimerSource& timers, QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_portal(new PortalSession(std::move(bus), this))
    , m_releaseWait(timers.createTimer()) {
    start();
}

PortalKeyboard::~PortalKeyboard() {
    if (!m_session.isEmpty())
        m_portal->call(QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close"),
                       {}, m_session);
}

void PortalKeyboard::start() {
    m_portal->request(
        PortalSession::remoteDesktop, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), m_portal->newToken()}},
        [this](uint response, const QVariantMap& results) {
            m_session = results.value(QStringLiteral("session_handle")).toString();
            if (response != 0 || m_session.isEmpty())
                return fail("CreateSession", response);
            QVariantMap devices{{QStringLiteral("types"), keyboardDevice},
                                {QStringLiteral("persist_mode"), persistUntilRevoked}};
            const QString token = openSettingsStore()->value(restoreTokenKey).toString();
            if (!token.isEmpty())
                devices.insert(QStringLiteral("restore_token"), token);
            const QVariant session = QVariant::fromValue(QDBusObjectPath(m_session));
            m_portal->request(
                PortalSession::remoteDesktop, QStringLiteral("SelectDevices"), {session}, devices,
                [this, session](uint response, const QVariantMap&) {
                    if (response != 0)
                        return fail("SelectDevices", response);
                    m_portal->request(
                        PortalSession::remoteDesktop, QStringLiteral("Start"), {session, QString()},
                        {}, [this](uint response, const QVariantMap& results) {
                            if (response != 0)
                                return fail("Start", response);
                            // A token is good for one restore: keep the fresh one.
                            const QString token =
                                results.value(QStringLiteral("restore_token")).toString();
                            if (!token.isEmpty())
                                openSettingsStore()->setValue(restoreTokenKey, token);
                            m_state = State::started;
                            const auto queued = std::exchange(m_queued, {});
                            for (const auto& [keysym, pressed] : queued)
                                sendKey(keysym, pressed);
                            Q_EMIT sessionReady(true);
                        });
                });
        });
}

void PortalKeyboard::fail(const char* step, uint response) {
    qCWarning(lcPortal, "The desktop refused to let Orvane send keys (%s: %u)", step, response);
    m_state = State::failed;
    m_queued.clear();
    Q_EMIT sessionReady(false);
}

void PortalKeyboard::postKeystroke(int keyCode, quint64 flags) {
    const std::optional<VirtualKeys::Info> key = VirtualKeys::info(keyCode);
    if (!key)
        return;
    for (const ModifierKey& modifier : modifierKeys) {
        if (flags & modifier.flag)
            sendKey(modifier.keysym, true);
    }
    sendKey(key->keysym, true);
    sendKey(key->keysym, false);
    for (auto it = modifierKeys.rbegin(); it != modifierKeys.rend(); ++it) {
        if (flags & it->flag)
            sendKey(it->keysym, false);
    }
}

void PortalKeyboard::whenModifiersReleased(std::function<void()> ready) {
    m_releaseWait->start(releaseWait, Timer::Mode::SingleShot, std::move(ready));
}

void PortalKeyboard::sendKey(quint32 keysym, bool pressed) {
    if (m_state == State::starting) {
        m_queued.append({keysym, pressed});
        return;
    }
    if (m_state == State::failed)
        return;
    m_portal->call(PortalSession::remoteDesktop, QStringLiteral("NotifyKeyboardKeysym"),
                   {QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(), int(keysym),
                    uint(pressed ? 1 : 0)});
}
