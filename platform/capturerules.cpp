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
    m_recent.removeOne(windowClass);
    m_recent.prepend(windowClass);
    while (m_recent.size() > remembered)
        m_slowest.remove(m_recent.takeLast());
}

QStringList CaptureWaits::toStored() const {
    QStringList stored;
    for (const QString& windowClass : m_recent)
        stored << QString::number(m_slowest.value(windowClass).count()) + u' ' + windowClass;
    return stored;
}

void CaptureWaits::restore(const QStringList& stored) {
    // Oldest first, so that the most recent ends up in front again.
    for (auto it = stored.crbegin(); it != stored.crend(); ++it) {
        const qsizetype space = it->indexOf(u' ');
        bool ok = false;
        const int ms = it->left(space).toInt(&ok);
        if (space > 0 && ok && ms >= 0 && space + 1 < it->size())
            record(it->mid(space + 1), std::min(Duration(ms), bound()));
    }
}
