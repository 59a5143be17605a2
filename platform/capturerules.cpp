#include "platform/capturerules.h"

#include "core/settingsstore.h"
#include "platform/virtualkeys.h"

using namespace Qt::StringLiterals;

namespace {

// WM_CLASS class names as the terminals set them.
const QStringList knownTerminals{
    u"XTerm"_s,          u"UXTerm"_s,      u"URxvt"_s,          u"Rxvt"_s,
    u"Gnome-terminal"_s, u"konsole"_s,     u"Xfce4-terminal"_s, u"kitty"_s,
    u"Alacritty"_s,      u"foot"_s,        u"footclient"_s,     u"org.wezfurlong.wezterm"_s,
    u"Tilix"_s,          u"Terminator"_s,  u"Mate-terminal"_s,  u"Lxterminal"_s,
    u"qterminal"_s,      u"Terminology"_s, u"st-256color"_s,    u"Sakura"_s,
    u"Guake"_s,          u"Tilda"_s,       u"Yakuake"_s,        u"com.mitchellh.ghostty"_s,
};

// Their Shift+Insert pastes the primary selection; Ctrl+Shift+V is unbound there.
const QStringList primaryPasters{u"XTerm"_s, u"UXTerm"_s, u"URxvt"_s, u"Rxvt"_s};

} // namespace

bool CaptureRules::isTerminal(const QString& windowClass, const QStringList& extraClasses) {
    return !windowClass.isEmpty() && (knownTerminals.contains(windowClass, Qt::CaseInsensitive) ||
                                      extraClasses.contains(windowClass, Qt::CaseInsensitive));
}

bool CaptureRules::isTerminal(const QString& windowClass) {
    return isTerminal(windowClass, openSettingsStore()->value(terminalClassesKey).toStringList());
}

CaptureRules::PasteKey CaptureRules::pasteKey(const QString& windowClass, bool terminal) {
    if (!terminal)
        return {VirtualKeys::v, ModifierFlags::command, Selection::clipboard};
    if (primaryPasters.contains(windowClass, Qt::CaseInsensitive))
        return {VirtualKeys::insert, ModifierFlags::shift, Selection::primary};
    return {VirtualKeys::v, ModifierFlags::command | ModifierFlags::shift, Selection::clipboard};
}

CaptureWaits::Duration CaptureWaits::waitFor(const QString& windowClass) const {
    const auto it = m_slowest.constFind(windowClass);
    if (it == m_slowest.constEnd())
        return bound();
    return std::clamp(*it * 2, m_base, bound());
}

void CaptureWaits::record(const QString& windowClass, Duration delay) {
    const auto it = m_slowest.find(windowClass);
    if (it == m_slowest.end())
        m_slowest.insert(windowClass, delay);
    else
        *it = std::max(delay, (*it + delay) / 2);
}
