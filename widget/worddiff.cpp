#include "widget/worddiff.h"

#include <QHash>
#include <QTextBoundaryFinder>

#include <dtl/dtl.hpp>
#include <vector>

namespace WordDiff {

namespace {

bool isLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

bool isSpace(QChar c) {
    return c.isSpace() && !isLineBreak(c);
}

bool hasLineBreak(const QString& token) {
    return !token.isEmpty() && isLineBreak(token.front());
}

// Islands this short between two changes read better as part of the change.
bool isTinyIsland(const QStringList& tokens) {
    int words = 0;
    for (const QString& token : tokens) {
        if (hasLineBreak(token))
            return false;
        if (!isSpace(token.front()) && (++words > 1 || token.size() > 3))
            return false;
    }
    return true;
}

} // namespace

QStringList tokenize(const QString& text) {
    QStringList tokens;
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    qsizetype start = 0;
    while (start < text.size()) {
        words.setPosition(start);
        qsizetype end = words.toNextBoundary();
        if (end <= start)
            end = text.size();
        const QChar first = text.at(start);
        if (isLineBreak(first)) {
            // CR LF is one break; every other break stands alone
            end =
                start +
                (first == u'\r' && start + 1 < text.size() && text.at(start + 1) == u'\n' ? 2 : 1);
        } else if (isSpace(first)) {
            end = start;
            while (end < text.size() && isSpace(text.at(end)))
                ++end;
        }
        tokens.append(text.mid(start, end - start));
        start = end;
    }
    return tokens;
}

QList<Span> compare(const QString& before, const QString& after) {
    const QStringList beforeTokens = tokenize(before);
    const QStringList afterTokens = tokenize(after);

    // Diff token ids rather than strings: equal tokens compare as integers.
    QHash<QString, int> ids;
    const auto toIds = [&ids](const QStringList& tokens) {
        std::vector<int> result;
        result.reserve(tokens.size());
        for (const QString& token : tokens) {
            // QHash::emplace would overwrite an existing id
            auto it = ids.constFind(token);
            if (it == ids.constEnd())
                it = ids.insert(token, int(ids.size()));
            result.push_back(it.value());
        }
        return result;
    };
    const std::vector<int> a = toIds(beforeTokens);
    const std::vector<int> b = toIds(afterTokens);
    dtl::Diff<int> diff(a, b);
    diff.compose();

    // Runs of unchanged tokens alternate with changes, each a deleted and an inserted part.
    struct Run {
        QStringList unchanged, deleted, inserted;
    };
    QList<Run> runs{Run{}};
    for (const auto& [id, info] : diff.getSes().getSequence()) {
        Run* run = &runs.last();
        if (info.type == dtl::SES_COMMON) {
            if (!run->deleted.isEmpty() || !run->inserted.isEmpty())
                run = &runs.emplace_back();
            run->unchanged.append(beforeTokens.at(info.beforeIdx - 1));
        } else if (info.type == dtl::SES_DELETE) {
            run->deleted.append(beforeTokens.at(info.beforeIdx - 1));
        } else {
            run->inserted.append(afterTokens.at(info.afterIdx - 1));
        }
    }

    QList<Span> spans;
    const auto append = [&spans](Kind kind, const QStringList& tokens) {
        if (tokens.isEmpty())
            return;
        if (!spans.isEmpty() && spans.last().kind == kind)
            spans.last().text += tokens.join(QString());
        else
            spans.append(Span{kind, tokens.join(QString())});
    };
    QStringList pendingDeleted, pendingInserted;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const Run& run = runs.at(i);
        // Only between two rewrites: an added comma or full stop should not swallow a word.
        const bool betweenRewrites = !pendingDeleted.isEmpty() && !pendingInserted.isEmpty() &&
                                     !run.deleted.isEmpty() && !run.inserted.isEmpty();
        if (betweenRewrites && isTinyIsland(run.unchanged)) {
            pendingDeleted += run.unchanged;
            pendingInserted += run.unchanged;
        } else {
            append(Kind::deleted, pendingDeleted);
            append(Kind::inserted, pendingInserted);
            pendingDeleted.clear();
            pendingInserted.clear();
            append(Kind::unchanged, run.unchanged);
        }
        pendingDeleted += run.deleted;
        pendingInserted += run.inserted;
    }
    append(Kind::deleted, pendingDeleted);
    append(Kind::inserted, pendingInserted);
    return spans;
}

QString toRichText(const QList<Span>& spans, const QColor& deleted, const QColor& inserted) {
    // Split into lines of the answer; a deleted break is shown, not taken.
    QList<QList<Span>> lines(1);
    for (const Span& span : spans) {
        for (const QString& token : tokenize(span.text)) {
            if (hasLineBreak(token) && span.kind != Kind::deleted) {
                lines.emplace_back();
                continue;
            }
            const QString text = hasLineBreak(token) ? QStringLiteral("\u21b5") : token;
            QList<Span>& line = lines.last();
            if (!line.isEmpty() && line.last().kind == span.kind)
                line.last().text += text;
            else
                line.append(Span{span.kind, text});
        }
    }

    QString html;
    for (const QList<Span>& line : lines) {
        QString lineText;
        QString body;
        for (const Span& span : line) {
            lineText += span.text;
            const QString escaped = span.text.toHtmlEscaped();
            switch (span.kind) {
            case Kind::unchanged:
                body += escaped;
                break;
            case Kind::deleted:
                body += QStringLiteral("<s style=\"color:%1\">").arg(deleted.name()) + escaped +
                        QStringLiteral("</s>");
                break;
            case Kind::inserted:
                body += QStringLiteral("<span style=\"color:%1\">").arg(inserted.name()) + escaped +
                        QStringLiteral("</span>");
                break;
            }
        }
        html += QStringLiteral("<p dir=\"%1\" style=\"white-space:pre-wrap;margin:0\">")
                    .arg(lineText.isRightToLeft() ? u"rtl" : u"ltr") +
                body + QStringLiteral("</p>");
    }
    return html;
}

} // namespace WordDiff
