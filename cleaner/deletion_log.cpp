// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_log.h"

#include "list_observer.h"

#include <algorithm>
#include <stdexcept>

namespace cleaner {

void DeletionLog::AddItem(std::string line) {
    const std::size_t length = line.size();
    AddItems({LogLine{std::move(line), length, true}});
}

void DeletionLog::AddItems(const std::vector<LogLine>& lines) {
    if (lines.empty())
        return;
    const int first = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(first, first + static_cast<int>(lines.size()) - 1);
    const std::size_t needed = m_lines.size() + lines.size();
    if (needed > m_lines.capacity()) // geometrically: batches come one after another
        m_lines.reserve(std::max(needed, 2 * m_lines.capacity()));
    for (const LogLine& line : lines)
        m_lines.push_back(Line{m_texts.add(line.text),
                               static_cast<std::uint32_t>(std::min(line.pathLength, line.text.size())),
                               line.deleted});
    if (m_observer)
        m_observer->endInsertRows();
}

void DeletionLog::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_texts.clear();
    std::vector<Line>().swap(m_lines);
    if (m_observer)
        m_observer->endReset();
}

const DeletionLog::Line& DeletionLog::line(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("DeletionLog: no line at position " + std::to_string(position));
    return m_lines[static_cast<std::size_t>(position)];
}

std::string_view DeletionLog::text(int position) const {
    return m_texts.get(line(position).text);
}

std::size_t DeletionLog::pathLength(int position) const {
    return line(position).pathLength;
}

bool DeletionLog::Deleted(int position) const {
    return line(position).deleted;
}

} // namespace cleaner
