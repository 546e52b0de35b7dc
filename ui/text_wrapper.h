// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QList>
#include <QStringView>

#include <array>

// Breaks a text into lines no wider than a width, the way the lists draw
// their rows: whole, however long, so that no two rows of different texts
// look alike. A line breaks after a "/" where one is near its end, else
// between any two characters (never inside one that takes two code units,
// nor before a combining mark).
//
// Built to measure a million rows: the widths of the characters are looked
// up in a table, not shaped, so a line's drawn width can differ from the sum
// by a little kerning; `slack` pixels are kept free for it.
class TextWrapper {
public:
    explicit TextWrapper(const QFont& font);

    // Where each line begins: 0 first, then one index per further line.
    QList<qsizetype> lineStarts(QStringView text, qreal width) const;
    qsizetype lineCount(QStringView text, qreal width) const;

    static constexpr qreal slack = 2;

private:
    template <class LineBreak>
    void breakLines(QStringView text, qreal width, LineBreak lineBreak) const;
    // The width of one character (with its marks), which the table lacks.
    qreal advance(QStringView character) const;

    QFontMetricsF m_metrics;
    std::array<qreal, 128> m_ascii{};
    mutable QHash<QString, qreal> m_others;
};
