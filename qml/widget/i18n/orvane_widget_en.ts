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
        <source>Writing…</source>
        <translation>Writing…</translation>
    </message>
    <message id="input.prompt.running.1">
        <source>Writing…</source>
        <translation>Writing…</translation>
    </message>
    <message id="input.prompt.running.2">
        <source>Writing…</source>
        <translation>Writing…</translation>
    </message>
    <message id="input.prompt.running.3">
        <source>Writing…</source>
        <translation>Writing…</translation>
    </message>
    <message id="input.notice.noText">
        <source>Select some text first, or type the text for this prompt.</source>
        <translation>Select some text first, or type the text for this prompt.</translation>
    </message>
    <message id="input.notice.sourceClosed">
        <source>The window the text came from is closed, so nothing was pasted.</source>
        <translation>The window the text came from is closed, so nothing was pasted.</translation>
    </message>
    <message id="input.notice.sourceInactive">
        <source>The window the text came from did not come to the front, so nothing was pasted.</source>
        <translation>The window the text came from did not come to the front, so nothing was pasted.</translation>
    </message>
    <message id="menu.postaction.insertAtCursor">
        <source>Insert at cursor</source>
        <translation>Insert at cursor</translation>
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
    <message id="input.prompt.result.changes">
        <source>Changes shown</source>
        <translation>Changes shown</translation>
    </message>
    <message id="input.prompt.result.show_changes">
        <source>Show changes</source>
        <translation>Show changes</translation>
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
    <message id="input.prompt.error.model_not_found">
        <source>The model server does not have the model Orvane is set to use.</source>
        <translation>The model server does not have the model Orvane is set to use.</translation>
    </message>
    <message id="input.prompt.error.model_unauthorized">
        <source>The model server refused Orvane's key.</source>
        <translation>The model server refused Orvane's key.</translation>
    </message>
    <message id="input.prompt.error.too_long_for_model">
        <source>The text is too long for the model. Select less text and try again.</source>
        <translation>The text is too long for the model. Select less text and try again.</translation>
    </message>
    <message id="input.prompt.error.model_unreachable">
        <source>The model server could not be reached.</source>
        <translation>The model server could not be reached.</translation>
    </message>
    <message id="input.prompt.error.model_failed">
        <source>The model server failed to answer.</source>
        <translation>The model server failed to answer.</translation>
    </message>
    <message id="input.prompt.error.no_model_server">
        <source>Start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL</source>
        <translation>Start Ollama or another OpenAI-compatible model server, or set ORVANE_LLM_URL</translation>
    </message>
    <message id="input.prompt.result.cut">
        <source>The answer broke off here: it is not complete.</source>
        <translation>The answer broke off here: it is not complete.</translation>
    </message>
</context>
</TS>
