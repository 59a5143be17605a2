#pragma once

#include <QUrl>

/** Software updates; on Linux packages update through the distribution. */
class UpdaterProtocol {
public:
    virtual ~UpdaterProtocol() = default;
    virtual void setAutomaticallyChecksForUpdates(bool value) = 0;
    virtual void startUpdater() = 0;
    /** A check the user asked for. */
    virtual void checkForUpdates() = 0;
};

/** Opens the project's releases page when the user asks for updates. */
class ReleasesPageUpdater final : public UpdaterProtocol {
public:
    explicit ReleasesPageUpdater(QUrl releasesPage);

    void setAutomaticallyChecksForUpdates(bool value) override { m_automatic = value; }
    void startUpdater() override { m_started = true; }
    void checkForUpdates() override;

private:
    QUrl m_releasesPage;
    bool m_automatic = false;
    bool m_started = false;
};
