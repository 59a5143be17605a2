#pragma once

#include <QString>

namespace OrvaneServer {

/**
 * Removes <think>...</think> reasoning blocks from text that arrives in
 * pieces. A tag may be split across pieces, so text that could be the start
 * of a tag is held back until the next piece decides. An opening tag that
 * never closes was text after all: it and what followed come out at the end.
 */
class ThinkFilter {
public:
    /** Held-back text beyond this is let out (before a decision) or given up (inside). */
    static constexpr qsizetype MaxHeldChars = 256 * 1024;

    /**
     * leadingReasoning: the answer may start with reasoning that only a closing tag ends
     * (chat templates of DeepSeek R1 and its kind open the block in the prompt), so the
     * start of the answer is held back until a tag or the end decides.
     */
    explicit ThinkFilter(bool leadingReasoning = false);

    /** The visible text that this piece completes. */
    [[nodiscard]] QString feed(const QString& piece);
    /** What is still held back once the stream has ended. */
    [[nodiscard]] QString finish();

private:
    enum class State { Undecided, Outside, Inside };

    void emitText(QStringView text, QString* visible);

    QString m_pending;
    State m_state;
    qsizetype m_searched = 0;
    bool m_trimLeading = false;
    bool m_droppedInside = false;
};

} // namespace OrvaneServer
