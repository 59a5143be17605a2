#pragma once

#include "platform/clipboard.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>

/** How capture and paste treat a window, by its window class. */
namespace CaptureRules {

/** The settings key of further terminal window classes (a list, like the built-in one). */
inline const QString terminalClassesKey = QStringLiteral("terminalWindowClasses");
inline const QString captureWaitsKey = QStringLiteral("captureWaits");

/** Terminal emulators: Ctrl+C interrupts there, and selecting text is copying it. */
[[nodiscard]] bool isTerminal(const QString& windowClass, const QStringList& extraClasses);
/** isTerminal() with the classes the user added in the settings file. */
[[nodiscard]] bool isTerminal(const QString& windowClass);

/** The keystroke that pastes in a window, and the selection that keystroke pastes from. */
struct PasteKey {
    int keyCode = 0;
    quint64 flags = 0;
    Selection selection = Selection::clipboard;
    friend bool operator==(const PasteKey&, const PasteKey&) = default;
};
[[nodiscard]] PasteKey pasteKey(const QString& windowClass, bool terminal);

} // namespace CaptureRules

/**
 * How long to wait for an application to copy after Ctrl+C, learned per window class:
 * a class never seen gets the longest wait, one that copied quickly gets twice its
 * (slowly forgotten) slowest time, never less than the base wait.
 */
class CaptureWaits {
public:
    using Duration = std::chrono::milliseconds;

    CaptureWaits(Duration base, Duration bound)
        : m_base(base)
        , m_bound(bound) {}

    /** Classes remembered; the least recently seen is forgotten first. */
    static constexpr qsizetype remembered = 64;

    void setBase(Duration base) { m_base = base; }
    [[nodiscard]] Duration bound() const { return std::max(m_bound, m_base); }
    [[nodiscard]] Duration waitFor(const QString& windowClass) const;
    /** The class copied delay after the keystroke. */
    void record(const QString& windowClass, Duration delay);

    /** What was learned as "milliseconds class" entries, the most recent first, for the
     * next start; restore() takes them back and skips what it cannot read. */
    [[nodiscard]] QStringList toStored() const;
    void restore(const QStringList& stored);

private:
    Duration m_base;
    Duration m_bound;
    QHash<QString, Duration> m_slowest;
    QStringList m_recent; // the classes of m_slowest, the most recent first
};
