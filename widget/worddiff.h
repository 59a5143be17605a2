#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

/** A word-level comparison of the captured text with an answer, and its rich-text form. */
namespace WordDiff {

enum class Kind { unchanged, deleted, inserted };

struct Span {
    Kind kind;
    QString text;
    bool operator==(const Span&) const = default;
};

/**
 * Words, single punctuation marks or symbols, runs of spaces and single line breaks,
 * never cutting a grapheme; joined they give back the text exactly.
 */
[[nodiscard]] QStringList tokenize(const QString& text);

/**
 * The spans that turn before into after, deletions ahead of insertions within a change;
 * a short unchanged island between two rewrites joins them so the change reads whole.
 */
[[nodiscard]] QList<Span> compare(const QString& before, const QString& after);

/** One paragraph per line of the answer, its direction taken from its own text. */
[[nodiscard]] QString toRichText(const QList<Span>& spans, const QColor& deleted,
                                 const QColor& inserted);

} // namespace WordDiff
