#pragma once

#include "service/presetdto.h"
#include "store/appsettings.h"

#include <optional>

/**
 * Whether a prompt's complete answer opens on the changes it makes: the user's choice
 * for that prompt when there is one, else changes for prompts that correct or shorten
 * text and the plain answer for translations and typed commands.
 */
class ReviewPreferences {
public:
    static inline const QString key = QStringLiteral("ReviewSettings");

    /** Nothing for a typed command. */
    [[nodiscard]] bool showsChanges(const std::optional<PresetDto>& prompt) const;
    /** The stored choice only, for the prompt editor's switch. */
    [[nodiscard]] std::optional<bool> storedChoice(qint64 presetId) const;
    void setShowsChanges(qint64 presetId, bool show);

    /** The default from the prompt's name and instruction. */
    [[nodiscard]] static bool suitsReview(const PresetDto& prompt);

private:
    UserDefault<ReviewSettings> m_settings{key, ReviewSettings{}};
};
