#pragma once

#include <QTemporaryDir>

/**
 * Points the application's settings store at a fresh temporary directory for the
 * lifetime of this object, so that no test touches the real configuration.
 */
class TemporarySettings {
public:
    TemporarySettings();
    ~TemporarySettings();

    [[nodiscard]] QString path() const { return m_dir.path(); }
    /** Removes every stored key. */
    void clear();

private:
    QTemporaryDir m_dir;
};
