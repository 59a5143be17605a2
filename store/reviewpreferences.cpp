#include "store/reviewpreferences.h"

#include <QRegularExpression>

bool ReviewPreferences::showsChanges(const std::optional<PresetDto>& prompt) const {
    if (!prompt)
        return false;
    return storedChoice(prompt->id).value_or(suitsReview(*prompt));
}

std::optional<bool> ReviewPreferences::storedChoice(qint64 presetId) const {
    const ReviewSettings settings = m_settings.read();
    const auto found = settings.showChanges.constFind(presetId);
    return found == settings.showChanges.cend() ? std::nullopt : std::optional(*found);
}

void ReviewPreferences::setShowsChanges(qint64 presetId, bool show) {
    ReviewSettings settings = m_settings.read();
    settings.showChanges.insert(presetId, show);
    m_settings.write(settings);
}

bool ReviewPreferences::suitsReview(const PresetDto& prompt) {
    // A translation changes every word: its diff would be all red and green.
    static const QRegularExpression translates(QStringLiteral("\\btranslat"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression edits(
        QStringLiteral("\\b(fix|correct|grammar|spell|typo|proofread|shorte|concise|simplif|"
                       "tighten|polish)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = prompt.name + u'\n' + prompt.userMessage;
    return !translates.match(text).hasMatch() && edits.match(text).hasMatch();
}
