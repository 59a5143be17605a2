#pragma once

#include <QString>

namespace OrvaneServer {

struct HttpRequest;

/** Escapes text for HTML element content and attribute values. */
[[nodiscard]] QString escapeHtml(const QString& text);

/**
 * Wraps page content in the service's one layout with inline styles only (the
 * pages must work offline). dark selects the dark palette.
 */
[[nodiscard]] QString renderPage(const QString& title, const QString& content, bool dark,
                                 const QString& script = {});

/** True when the request asks for the dark style ("Dark-Theme: True"). */
[[nodiscard]] bool wantsDarkTheme(const HttpRequest& request);

/** "command+option+c" as "Ctrl+Alt+C"; the text itself when it does not parse. */
[[nodiscard]] QString hotkeyDisplayText(const QString& hotkey);

} // namespace OrvaneServer
