#pragma once

#include "core/runningapp.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

/**
 * A real third-party editor (mousepad unless named; or a terminal) holding a temporary file,
 * started in the test's X server with settings of its own, and xdotool to drive it like a user. The
 * editor is stopped when the session ends.
 */
class EditorSession {
public:
    /** arguments: the program's own instead of the file's path, "%f" standing for it. */
    explicit EditorSession(const QByteArray& content,
                           const QString& program = QStringLiteral("mousepad"),
                           const QStringList& arguments = {});
    ~EditorSession();

    /** Whether the editor's window came up and has the focus. */
    [[nodiscard]] bool isReady() const { return m_window.has_value(); }
    [[nodiscard]] const RunningApp& window() const { return *m_window; }
    [[nodiscard]] bool isRunning() const { return m_editor.state() == QProcess::Running; }
    [[nodiscard]] QString filePath() const { return m_dir.filePath(QStringLiteral("note.txt")); }

    /** Saves with Ctrl+S until the file holds expected or time runs out; returns what it holds. */
    QByteArray saveAndRead(const QByteArray& expected);

    /** Runs xdotool with args and waits for it; false when it fails. */
    static bool xdotool(const QStringList& args);
    /** Brings the editor's window to the front again (after the test's own windows). */
    bool focus();

private:
    QTemporaryDir m_dir;
    QProcess m_editor;
    std::optional<RunningApp> m_window;
};
