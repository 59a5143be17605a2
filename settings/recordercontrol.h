#pragma once

#include "shortcuts/shortcut.h"
#include "shortcuts/shortcuts.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QEvent;
class QKeyEvent;

namespace Shortcuts {

class LocalEventMonitor;

/**
 * The control that assigns a shortcut to a name. While recording (the view gives it
 * the keyboard focus) it reads the next key combination from any window of the
 * application, refuses combinations without a usable modifier with a beep, refuses
 * those of the application menu and those another application holds with an alert,
 * and stores the rest for its name.
 */
class RecorderControl final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    Q_PROPERTY(QString placeholder READ placeholder NOTIFY recordingChanged)
    Q_PROPERTY(bool recording READ isRecording NOTIFY recordingChanged)
    Q_PROPERTY(bool showsClearButton READ showsClearButton NOTIFY textChanged)
    Q_PROPERTY(double minimumWidth MEMBER minimumWidth CONSTANT)
    Q_PROPERTY(QRectF bounds MEMBER m_bounds)

public:
    using OnChange = std::function<void(const std::optional<Shortcut>&)>;
    /** Whether another application holds a combination. */
    using SystemCheck = std::function<bool(const Shortcut&)>;

    /** registry: where the shortcut is stored, and whose hotkeys pause while recording. */
    RecorderControl(Registry& registry, Name shortcutName, OnChange onChange,
                    QObject* parent = nullptr);
    ~RecorderControl() override;

    /** The menu whose actions' shortcuts cannot be recorded: its QAction children, nested ones too.
     */
    static void setApplicationMenu(const QObject* menu);
    static void setSystemCheck(SystemCheck check);

    /** The modifiers and key as the desktop writes them; U+FFFD for a key without a name. */
    [[nodiscard]] static QString displayText(const Shortcut& shortcut);
    /** The title of the menu item that uses shortcut, if any. */
    [[nodiscard]] static std::optional<QString> menuItemUsing(const Shortcut& shortcut);

    const double minimumWidth = 130.0;

    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] QString placeholder() const;
    [[nodiscard]] bool isRecording() const { return m_eventMonitor != nullptr; }
    [[nodiscard]] bool showsClearButton() const { return !m_text.isEmpty(); }
    [[nodiscard]] const Name& shortcutName() const { return m_shortcutName; }
    void setShortcutName(const Name& name);

    /** Stores shortcut for the name, without telling onChange: a view model shows a value. */
    void setShortcut(const std::optional<Shortcut>& shortcut);

    /** The view's focus: taking it starts recording, losing it ends it. */
    Q_INVOKABLE void setRecording(bool recording);
    /** The clear button: forgets the shortcut and keeps recording. */
    Q_INVOKABLE void clear();
    /** The user dismissed a conflict alert: recording starts again. */
    Q_INVOKABLE void alertDismissed();

    /** One observed event while recording; answers whether it goes on to the window. */
    bool handleEvent(QEvent* event);

Q_SIGNALS:
    void textChanged();
    void recordingChanged();
    /** A refused combination: show message (and informative text) modally. */
    void alertRequested(const QString& message, const QString& informativeText);
    /** The control wants the keyboard focus back. */
    void focusRequested();
    /** Recording ended by a key (Tab passes focus on, the others keep it). */
    void recordingEnded(bool passFocus);
    void beeped();

private:
    void refreshText();
    void setText(const QString& text);
    void startRecording();
    void endRecording();
    bool handleKey(const QKeyEvent& event);
    bool handleKey(std::optional<int> keyCode, quint64 flags);

    std::unique_ptr<LocalEventMonitor> m_eventMonitor;
    Registry& m_registry;
    OnChange m_onChange;
    Name m_shortcutName;
    QString m_text;
    QRectF m_bounds;
};

} // namespace Shortcuts
