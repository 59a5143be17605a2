#include "thinkfilter.h"

namespace OrvaneServer {

namespace {

const QString OpenTag = QStringLiteral("<think>");
const QString CloseTag = QStringLiteral("</think>");

// Length of the longest end of text that is a proper start of tag.
qsizetype partialTagLength(const QString& text, const QString& tag) {
    for (qsizetype length = std::min(text.size(), tag.size() - 1); length > 0; --length) {
        if (QStringView(text).right(length) == QStringView(tag).left(length))
            return length;
    }
    return 0;
}

} // namespace

ThinkFilter::ThinkFilter(bool leadingReasoning)
    : m_state(leadingReasoning ? State::Undecided : State::Outside) {}

void ThinkFilter::emitText(QStringView text, QString* visible) {
    // Models put blank lines after their reasoning; they are not part of the answer.
    if (m_trimLeading) {
        while (!text.isEmpty() && text.front().isSpace())
            text = text.mid(1);
        m_trimLeading = text.isEmpty();
    }
    *visible += text;
}

QString ThinkFilter::feed(const QString& piece) {
    m_pending += piece;
    QString visible;
    while (!m_pending.isEmpty()) {
        if (m_state == State::Undecided) {
            const qsizetype open = m_pending.indexOf(OpenTag);
            const qsizetype close = m_pending.indexOf(CloseTag);
            if (close >= 0 && (open < 0 || close < open)) {
                m_pending.remove(0, close + CloseTag.size());
                m_state = State::Outside;
                m_trimLeading = true;
            } else if (open >= 0 || m_pending.size() > MaxHeldChars) {
                m_state = State::Outside;
            } else {
                break;
            }
            continue;
        }
        if (m_state == State::Outside) {
            const qsizetype at = m_pending.indexOf(OpenTag);
            if (at >= 0) {
                emitText(QStringView(m_pending).left(at), &visible);
                m_pending.remove(0, at);
                m_state = State::Inside;
                m_searched = OpenTag.size();
                continue;
            }
            const qsizetype keep = partialTagLength(m_pending, OpenTag);
            emitText(QStringView(m_pending).left(m_pending.size() - keep), &visible);
            m_pending = m_pending.right(keep);
            break;
        }
        // Inside: the block is kept whole (opening tag included) in case it never closes.
        const qsizetype at =
            m_pending.indexOf(CloseTag, std::max<qsizetype>(0, m_searched - CloseTag.size()));
        if (at >= 0) {
            m_pending.remove(0, at + CloseTag.size());
            m_state = State::Outside;
            m_trimLeading = true;
            m_droppedInside = false;
            continue;
        }
        if (m_pending.size() > MaxHeldChars) {
            m_pending = m_pending.right(CloseTag.size());
            m_droppedInside = true;
        }
        m_searched = m_pending.size();
        break;
    }
    return visible;
}

QString ThinkFilter::finish() {
    QString rest;
    if (m_state != State::Inside || !m_droppedInside)
        emitText(m_pending, &rest);
    m_pending.clear();
    return rest;
}

} // namespace OrvaneServer
