#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <optional>

class AppEvents;

/**
 * The tray menu's view of the widget hotkey: the key and modifiers its "open" item
 * shows, kept current as the hotkey is changed.
 */
class AppMenuViewModel final : public QObject {
    Q_OBJECT

public:
    struct Hotkey {
        /** One lower-case character. */
        QString key;
        /** Window-system modifier flags. */
        quint64 modifiers = 0;
        friend bool operator==(const Hotkey&, const Hotkey&) = default;
    };

    explicit AppMenuViewModel(AppEvents& events, QObject* parent = nullptr);

    /** The key and modifiers of a hotkey text such as "command+option+c"; none when the key is not
     * one character. */
    [[nodiscard]] static std::optional<Hotkey> parse(const std::optional<QString>& text);

    [[nodiscard]] const std::optional<QString>& windowHotkeyKey() const {
        return m_windowHotkeyKey;
    }
    [[nodiscard]] const std::optional<quint64>& windowHotkeyModifiers() const {
        return m_windowHotkeyModifiers;
    }
    /** The "open" item's key equivalent; empty unless both key and modifiers are known. */
    [[nodiscard]] QKeySequence openShortcut() const;

Q_SIGNALS:
    void windowHotkeyChanged();

private:
    void readWindowHotkey();

    std::optional<QString> m_windowHotkeyKey;
    std::optional<quint64> m_windowHotkeyModifiers;
};
