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

QString ThinkFilter::feed(const QString& piece) {
    m_pending += piece;
    QString visible;
    const auto emitText = [&](QStringView text) {
        // Models put blank lines after their reasoning; they are not part of the answer.
        if (m_trimLeading) {
            while (!text.isEmpty() && text.front().isSpace())
                text = text.mid(1);
            m_trimLeading = text.isEmpty();
        }
        visible += text;
    };
    while (!m_pending.isEmpty()) {
        const QString& tag = m_inside ? CloseTag : OpenTag;
        const qsizetype at = m_pending.indexOf(tag);
        if (at >= 0) {
            if (!m_inside)
                emitText(QStringView(m_pending).left(at));
            m_pending.remove(0, at + tag.size());
            m_inside = !m_inside;
            m_trimLeading = !m_inside;
            continue;
        }
        const qsizetype keep = partialTagLength(m_pending, tag);
        if (!m_inside)
            emitText(QStringView(m_pending).left(m_pending.size() - keep));
        m_pending = m_pending.right(keep);
        break;
    }
    return visible;
}

QString ThinkFilter::finish() {
    QString rest = m_inside ? QString() : m_pending;
    m_pending.clear();
    return rest;
}

} // namespace OrvaneServer
