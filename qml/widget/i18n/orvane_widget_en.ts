<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="input.prompt.placeholder">
        <source>Type a command or pick a prompt</source>
        <translation>Type a command or pick a prompt</translation>
    </message>
    <message id="input.prompt.running.0">
        <source>Writing</source>
        <translation>Writing</translation>
    </message>
    <message id="input.prompt.running.1">
        <source>Writing.</source>
        <translation>Writing.</translation>
    </message>
    <message id="input.prompt.running.2">
        <source>Writing..</source>
        <translation>Writing..</translation>
    </message>
    <message id="input.prompt.running.3">
        <source>Writing...</source>
        <translation>Writing...</translation>
    </message>
    <message id="input.prompt.stop">
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message id="input.prompt.error.too_long">
        <source>The text is too long for this prompt. Select less text and try again.</source>
        <translation>The text is too long for this prompt. Select less text and try again.</translation>
    </message>
    <message id="input.prompt.error.generic">
        <source>Something went wrong. Please try again.</source>
        <translation>Something went wrong. Please try again.</translation>
    </message>
    <message id="input.prompt.result">
        <source>Result</source>
        <translation>Result</translation>
    </message>
    <message id="input.source.clear">
        <source>Clear</source>
        <translation>Clear the captured text</translation>
    </message>
    <message id="menu.postaction.replaceSelection">
        <source>Replace selection</source>
        <translation>Replace selection</translation>
    </message>
    <message id="menu.postaction.copyToClipboard">
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message id="menu.postaction.copiedToClipboard">
        <source>Copied</source>
        <translation>Copied</translation>
    </message>
    <message id="menu.postaction.insertBelow">
        <source>Insert below</source>
        <translation>Insert below</translation>
    </message>
    <message id="menu.postaction.continueWithAnotherPrompt">
        <source>Continue with another prompt</source>
        <translation>Continue with another prompt</translation>
    </message>
    <message id="menu.postaction.regenerate">
        <source>Regenerate</source>
        <translation>Regenerate</translation>
    </message>
    <message id="menu.postaction.tryAgain">
        <source>Try again</source>
        <translation>Try again</translation>
    </message>
    <message id="menu.postaction.discard">
        <source>Discard</source>
        <translation>Discard</translation>
    </message>
</context>
</TS>
