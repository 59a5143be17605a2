<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="signin.window.title">
        <source>Sign in to Orvane</source>
        <translation>Sign in to Orvane</translation>
    </message>
    <message id="signin.code">
        <source>Your browser's sign-in page must show the code %1</source>
        <translation>Your browser's sign-in page must show the code %1</translation>
    </message>
    <message id="help.window.title">
        <source>Orvane Help</source>
        <translation>Orvane Help</translation>
    </message>
    <message id="no_connection.window.title">
        <source>Orvane</source>
        <translation>Orvane</translation>
    </message>
    <message id="settings.window.title">
        <source>Orvane Settings</source>
        <translation>Orvane Settings</translation>
    </message>
    <message id="view.no_connection.header">
        <source>No connection</source>
        <translation>No connection</translation>
    </message>
    <message id="view.no_connection.comment">
        <source>Orvane cannot reach its service right now.</source>
        <translation>Orvane cannot reach its service right now.</translation>
    </message>
    <message id="view.no_connection.hint">
        <source>Check your network connection. Orvane keeps trying and carries on as soon as the service answers.</source>
        <translation>Check your network connection. Orvane keeps trying and carries on as soon as the service answers.</translation>
    </message>
    <message id="settings.tab.prompts">
        <source>Prompts</source>
        <translation>Prompts</translation>
    </message>
    <message id="settings.tab.account">
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message id="settings.tab.customisation">
        <source>Customisation</source>
        <translation>Customisation</translation>
    </message>
    <message id="settings.tab.support">
        <source>Support</source>
        <translation>Support</translation>
    </message>
    <message id="page.settings">
        <source>Prompts</source>
        <translation>Prompts</translation>
    </message>
    <message id="page.settings.standardPrompt">
        <source>Standard prompts</source>
        <translation>Standard prompts</translation>
    </message>
    <message id="page.settings.customPrompt">
        <source>Custom prompts</source>
        <translation>Custom prompts</translation>
    </message>
    <message id="page.settings.addPrompt">
        <source>New prompt</source>
        <translation>New prompt</translation>
    </message>
    <message id="page.settings.name">
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message id="page.settings.help.name">
        <source>The name shown in the widget's list of prompts.</source>
        <translation>The name shown in the widget's list of prompts.</translation>
    </message>
    <message id="page.settings.command">
        <source>Command</source>
        <translation>Command</translation>
    </message>
    <message id="page.settings.help.command">
        <source>What the prompt asks for. It is sent together with the selected text.</source>
        <translation>What the prompt asks for. It is sent together with the selected text.</translation>
    </message>
    <message id="page.settings.system">
        <source>System message</source>
        <translation>System message</translation>
    </message>
    <message id="page.settings.help.system">
        <source>Instructions that set the assistant's role, tone and rules for this prompt.</source>
        <translation>Instructions that set the assistant's role, tone and rules for this prompt.</translation>
    </message>
    <message id="page.settings.temperature">
        <source>Temperature</source>
        <translation>Temperature</translation>
    </message>
    <message id="page.settings.help.temperature">
        <source>Lower values give focused, predictable answers; higher values give more varied ones.</source>
        <translation>Lower values give focused, predictable answers; higher values give more varied ones.</translation>
    </message>
    <message id="page.settings.review">
        <source>Review (show changes)</source>
        <translation>Review (show changes)</translation>
    </message>
    <message id="page.settings.help.review">
        <source>Answers of this prompt open as the changes they make to your text; Tab in the widget switches to the plain answer.</source>
        <translation>Answers of this prompt open as the changes they make to your text; Tab in the widget switches to the plain answer.</translation>
    </message>
    <message id="page.settings.hotkey">
        <source>Hotkey</source>
        <translation>Hotkey</translation>
    </message>
    <message id="page.settings.help.hotkey">
        <source>Press this combination anywhere to run the prompt on the selected text at once.</source>
        <translation>Press this combination anywhere to run the prompt on the selected text at once.</translation>
    </message>
    <message id="page.settings.help.hotkey.used">
        <source>This hotkey is already used by another prompt.</source>
        <translation>This hotkey is already used by another prompt.</translation>
    </message>
    <message id="page.settings.duplicate">
        <source>Duplicate</source>
        <translation>Duplicate</translation>
    </message>
    <message id="page.settings.savePrompt">
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message id="page.settings.savingPrompt">
        <source>Saving…</source>
        <translation>Saving…</translation>
    </message>
    <message id="page.settings.addingPrompt">
        <source>Adding…</source>
        <translation>Adding…</translation>
    </message>
    <message id="page.settings.savedPrompt">
        <source>Saved</source>
        <translation>Saved</translation>
    </message>
    <message id="page.settings.deletePrompt">
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message id="page.settings.advancedEdit">
        <source>Advanced edit</source>
        <translation>Advanced edit</translation>
    </message>
    <message id="record_shortcut">
        <source>Record Shortcut</source>
        <translation>Record Shortcut</translation>
    </message>
    <message id="press_shortcut">
        <source>Press Shortcut</source>
        <translation>Press Shortcut</translation>
    </message>
    <message id="keyboard_shortcut_used_by_menu_item">
        <source>This shortcut cannot be used because the menu item “%1” already uses it.</source>
        <translation>This shortcut cannot be used because the menu item “%1” already uses it.</translation>
    </message>
    <message id="keyboard_shortcut_used_by_system">
        <source>This shortcut cannot be used because another application already uses it.</source>
        <translation>This shortcut cannot be used because another application already uses it.</translation>
    </message>
    <message id="keyboard_shortcuts_can_be_changed">
        <source>System-wide shortcuts can be changed in your desktop's keyboard settings.</source>
        <translation>System-wide shortcuts can be changed in your desktop's keyboard settings.</translation>
    </message>
    <message id="alert.ok">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="statusbar.menu.open">
        <source>Open Orvane</source>
        <translation>Open Orvane</translation>
    </message>
    <message id="statusbar.menu.close">
        <source>Close Widget</source>
        <translation>Close Widget</translation>
    </message>
    <message id="statusbar.menu.toggle">
        <source>Show or Hide Widget</source>
        <translation>Show or Hide Widget</translation>
    </message>
    <message id="statusbar.menu.settings">
        <source>Settings…</source>
        <translation>Settings…</translation>
    </message>
    <message id="statusbar.menu.help">
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message id="statusbar.menu.updates">
        <source>Check for Updates…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message id="statusbar.menu.quit">
        <source>Quit Orvane</source>
        <translation>Quit Orvane</translation>
    </message>
</context>
</TS>
