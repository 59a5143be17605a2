<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="window.authorization.title">
        <source>Sign in</source>
        <translation>Sign in to Orvane</translation>
    </message>
    <message id="view.authorization.header">
        <source>Welcome</source>
        <translation>Welcome to Orvane</translation>
    </message>
    <message id="view.authorization.body">
        <source>Body</source>
        <translation>Sign in to your Orvane account to use your prompts in any application.</translation>
    </message>
    <message id="window.no_connection.title">
        <source>No connection</source>
        <translation>Orvane: no connection</translation>
    </message>
    <message id="view.no_connection.header">
        <source>No connection</source>
        <translation>No connection to the Orvane service</translation>
    </message>
    <message id="view.no_connection.body">
        <source>Body</source>
        <translation>Orvane keeps trying. This window closes by itself as soon as the service answers.</translation>
    </message>
    <message id="window.help.title">
        <source>Help</source>
        <translation>Orvane Help</translation>
    </message>
    <message id="window.settings.title">
        <source>Settings</source>
        <translation>Orvane Settings</translation>
    </message>
</context>
</TS>
