#include "pagerenderer.h"

#include "httpserver.h"

#include <QStringList>

namespace OrvaneServer {

namespace {

const char* const StyleSheet = R"css(
:root {
  --bg: #f6f7f9; --card: #ffffff; --text: #1d2330; --muted: #5d6677; --border: #dde1e8;
  --accent: #4f5bd5; --accent-text: #ffffff; --accent-soft: #eceefd; --danger: #c03a3a;
  --danger-soft: #fdeeee; --input: #ffffff; --ok: #2f8a57;
}
html.dark {
  --bg: #17191f; --card: #20232b; --text: #e8eaf0; --muted: #a2a9b8; --border: #343945;
  --accent: #7c86f2; --accent-text: #11131a; --accent-soft: #2a2e45; --danger: #f08080;
  --danger-soft: #3a2426; --input: #191b21; --ok: #6fcf97;
}
* { box-sizing: border-box; }
html, body { margin: 0; padding: 0; background: var(--bg); color: var(--text); }
body {
  font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Cantarell, "Noto Sans", Ubuntu, sans-serif;
  min-height: 100vh; display: flex; align-items: center; justify-content: center; padding: 12px;
}
main { width: 100%; max-width: 520px; background: var(--card); border: 1px solid var(--border);
  border-radius: 16px; padding: 24px 32px; box-shadow: 0 8px 30px rgba(0,0,0,.08); }
.brand { display: flex; align-items: center; gap: 10px; color: var(--muted); font-weight: 600;
  letter-spacing: .02em; margin-bottom: 14px; }
.brand .mark { width: 28px; height: 28px; border-radius: 8px; background: var(--accent);
  color: var(--accent-text); display: grid; place-items: center; font-weight: 700; }
h1 { font-size: 22px; line-height: 1.3; margin: 0 0 10px; }
p { margin: 0 0 14px; color: var(--muted); }
p.lead { color: var(--text); }
ol, ul { color: var(--muted); padding-left: 20px; margin: 0 0 16px; }
li { margin: 4px 0; }
strong, b { color: var(--text); }
form { display: grid; gap: 14px; margin-top: 8px; }
label { display: grid; gap: 6px; font-weight: 600; font-size: 14px; }
input[type=email], input[type=password], textarea {
  font: inherit; color: var(--text); background: var(--input); border: 1px solid var(--border);
  border-radius: 10px; padding: 10px 12px; width: 100%; }
textarea { min-height: 110px; resize: vertical; }
input:focus, textarea:focus { outline: 2px solid var(--accent); outline-offset: 1px; }
.actions { display: flex; gap: 10px; flex-wrap: wrap; margin-top: 16px; }
button { font: inherit; font-weight: 600; border-radius: 10px; padding: 10px 18px; cursor: pointer;
  border: 1px solid var(--accent); background: var(--accent); color: var(--accent-text); }
button.secondary { background: transparent; color: var(--accent); }
button.danger { background: transparent; color: var(--danger); border-color: var(--danger); }
.error { background: var(--danger-soft); color: var(--danger); border-radius: 10px;
  padding: 10px 12px; margin: 0 0 14px; }
.success { color: var(--ok); font-weight: 600; }
.switch { margin-top: 18px; font-size: 14px; }
a { color: var(--accent); }
kbd { font: 600 14px/1 ui-monospace, "DejaVu Sans Mono", monospace; background: var(--accent-soft);
  color: var(--text); border: 1px solid var(--border); border-radius: 6px; padding: 3px 7px; }
.field { display: flex; justify-content: space-between; gap: 12px; padding: 12px 0;
  border-bottom: 1px solid var(--border); }
.field span:first-child { color: var(--muted); }
)css";

struct ModifierWord {
    const char* word;
    const char* keyName;
};

// The desktop's names and order of the modifiers: the hotkey words keep the design's
// meaning, so "command" is Ctrl and "control" is the Meta (Super) key.
constexpr ModifierWord Modifiers[] = {
    {"command", "Ctrl"}, {"option", "Alt"}, {"shift", "Shift"}, {"control", "Meta"}};

} // namespace

QString escapeHtml(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString renderPage(const QString& title, const QString& content, bool dark, const QString& script) {
    QString page = QLatin1String("<!DOCTYPE html>\n<html lang=\"en\"") +
                   (dark ? QLatin1String(" class=\"dark\"") : QLatin1String("")) +
                   QLatin1String("><head><meta charset=\"utf-8\">"
                                 "<meta name=\"viewport\" content=\"width=device-width, "
                                 "initial-scale=1\"><title>") +
                   escapeHtml(title) + QStringLiteral(" \u2014 Orvane</title><style>") +
                   QLatin1String(StyleSheet) +
                   QLatin1String("</style></head><body><main><div class=\"brand\">"
                                 "<span class=\"mark\">O</span>Orvane</div>") +
                   content + QLatin1String("</main>");
    if (!script.isEmpty())
        page += QLatin1String("<script>") + script + QLatin1String("</script>");
    return page + QLatin1String("</body></html>\n");
}

bool wantsDarkTheme(const HttpRequest& request) {
    return request.header("dark-theme").trimmed().compare("true", Qt::CaseInsensitive) == 0;
}

QString hotkeyDisplayText(const QString& hotkey) {
    const QStringList pieces = hotkey.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || pieces.last().size() != 1)
        return hotkey;
    QStringList keys;
    for (const ModifierWord& modifier : Modifiers) {
        if (pieces.contains(QLatin1String(modifier.word)))
            keys.append(QLatin1String(modifier.keyName));
    }
    keys.append(pieces.last().toUpper());
    return keys.join(QLatin1Char('+'));
}

} // namespace OrvaneServer
