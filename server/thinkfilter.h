#pragma once

#include <QString>

namespace OrvaneServer {

/**
 * Removes <think>...</think> reasoning blocks from text that arrives in
 * pieces. A tag may be split across pieces, so text that could be the start
 * of a tag is held back until the next piece decides.
 */
class ThinkFilter {
public:
    /** The visible text that this piece completes. */
    [[nodiscard]] QString feed(const QString& piece);
    /** What is still held back once the stream has ended (an unclosed block is dropped). */
    [[nodiscard]] QString finish();

private:
    QString m_pending;
    bool m_inside = false;
    bool m_trimLeading = false;
};

} // namespace OrvaneServer
