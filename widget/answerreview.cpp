#include "widget/answerreview.h"

#include "widget/aidialoginputviewmodel.h"
#include "widget/worddiff.h"

namespace {
std::optional<qint64> lastPreset(const AIDialogInputViewModel& input) {
    const auto& last = input.conversation().last();
    return last ? last->presetId : std::nullopt;
}
} // namespace

AnswerReview::AnswerReview(AIDialogInputViewModel& input, QObject* parent)
    : QObject(parent)
    , m_input(input) {
    connect(&input, &AIDialogInputViewModel::shownChanged, this, &AnswerReview::refresh);
    connect(&input, &AIDialogInputViewModel::inputTextChanged, this, &AnswerReview::refresh);
    connect(&input, &AIDialogInputViewModel::resultTextChanged, this, &AnswerReview::refresh);
}

bool AnswerReview::isAvailable() const {
    return m_input.offersPaste() && !m_input.inputText().isEmpty() &&
           !m_input.resultText().isEmpty();
}

QString AnswerReview::richText() const {
    if (!isActive())
        return {};
    // Diffed once per answer shown, not per binding that reads it.
    if (!m_rendered)
        m_rendered =
            WordDiff::toRichText(WordDiff::compare(m_input.inputText(), m_input.resultText()),
                                 m_deletedColor, m_insertedColor);
    return *m_rendered;
}

void AnswerReview::setDeletedColor(const QColor& color) {
    if (color == m_deletedColor)
        return;
    m_deletedColor = color;
    m_rendered.reset();
    Q_EMIT changed();
}

void AnswerReview::setInsertedColor(const QColor& color) {
    if (color == m_insertedColor)
        return;
    m_insertedColor = color;
    m_rendered.reset();
    Q_EMIT changed();
}

bool AnswerReview::toggle() {
    if (!isAvailable())
        return false;
    m_wanted = !m_wanted;
    if (m_preference.remember)
        m_preference.remember(lastPreset(m_input), m_wanted);
    Q_EMIT changed();
    return true;
}

void AnswerReview::refresh() {
    const bool available = isAvailable();
    if (available && !m_available)
        m_wanted = m_preference.showsChanges && m_preference.showsChanges(lastPreset(m_input));
    m_available = available;
    m_rendered.reset();
    Q_EMIT changed();
}
