#pragma once

#include "settings/recordercontrol.h"

#include <QObject>

class AppEvents;

/** The customisation tab: launch at login and the widget hotkey. */
class SettingsCustomisationModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(Shortcuts::RecorderControl* windowHotkeyRecorder READ windowHotkeyRecorder CONSTANT)

public:
    SettingsCustomisationModel(AppEvents& events, Shortcuts::Registry& hotkeys, QObject* parent);

    /**
     * Stores the widget hotkey's text ("" for none, or for a key without a text form)
     * in the preferences and announces the change.
     */
    void updateWindowHotkey(const std::optional<Shortcuts::Shortcut>& shortcut);

    [[nodiscard]] bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);
    [[nodiscard]] Shortcuts::RecorderControl* windowHotkeyRecorder() const { return m_recorder; }

Q_SIGNALS:
    void launchAtLoginChanged();

private:
    AppEvents& m_events;
    Shortcuts::RecorderControl* m_recorder = nullptr;
};
