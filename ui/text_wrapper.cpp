// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_wrapper.h"

namespace {

// How far back a line may break at a "/": past the line's second half, a
// break within a name reads better than a line left half empty.
constexpr qreal kSlashBreakShare = 0.5;

// Whether a line may end just before text[at].
bool mayBreakBefore(QStringView text, qsizetype at) {
    const QChar character = text[at];
    return !character.isLowSurrogate() && !character.isMark();
}

} // namespace

TextWrapper::TextWrapper(const QFont& font) : m_metrics(font) {
    for (std::size_t c = 0; c < m_ascii.size(); ++c)
        m_ascii[c] = m_metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)));
}

qreal TextWrapper::advance(QStringView character) const {
    const QString key = character.toString();
    const auto known = m_others.constFind(key);
    if (known != m_others.constEnd())
        return *known;
    return *m_others.insert(key, m_metrics.horizontalAdvance(key));
}

// Calls `lineBreak(start)` for the start of each line after the first.
template <class LineBreak>
void TextWrapper::breakLines(QStringView text, qreal width, LineBreak lineBreak) const {
    const qreal room = std::max<qreal>(1, width - slack);
    qsizetype lineStart = 0;
    qreal used = 0;
    qsizetype lastSlash = -1; // the break after the last "/" of the line
    qreal usedAtSlash = 0;
    for (qsizetype at = 0; at < text.size();) {
        const char16_t code = text[at].unicode();
        qsizetype end = at + 1;
        qreal wide = 0;
        if (code < m_ascii.size()) { // the common case: one code unit, no marks to follow
            wide = m_ascii[code];
            if (end < text.size() && text[end].unicode() >= m_ascii.size())
                while (end < text.size() && text[end].isMark())
                    ++end;
            if (end > at + 1)
                wide += advance(text.sliced(at + 1, end - at - 1));
        } else {
            // One character: a pair of code units, or a base with its marks.
            if (text[at].isHighSurrogate() && end < text.size() && text[end].isLowSurrogate())
                ++end;
            while (end < text.size() && text[end].isMark())
                ++end;
            wide = advance(text.sliced(at, end - at));
        }
        if (used + wide > room && at > lineStart && mayBreakBefore(text, at)) {
            if (lastSlash > lineStart && usedAtSlash >= room * kSlashBreakShare) {
                lineStart = lastSlash;
                used -= usedAtSlash;
            } else {
                lineStart = at;
                used = 0;
            }
            lineBreak(lineStart);
            lastSlash = -1;
        }
        used += wide;
        if (code == u'/') {
            lastSlash = end;
            usedAtSlash = used;
        }
        at = end;
    }
}

QList<qsizetype> TextWrapper::lineStarts(QStringView text, qreal width) const {
    QList<qsizetype> starts{0};
    breakLines(text, width, [&starts](qsizetype start) { starts.push_back(start); });
    return starts;
}

qsizetype TextWrapper::lineCount(QStringView text, qreal width) const {
    qsizetype lines = 1;
    breakLines(text, width, [&lines](qsizetype) { ++lines; });
    return lines;
}
