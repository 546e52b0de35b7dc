// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_log.h"

#include "list_observer.h"

#include <algorithm>
#include <stdexcept>

namespace cleaner {

void DeletionLog::AddItem(std::string line) {
    AddItems({std::move(line)});
}

void DeletionLog::AddItems(const std::vector<std::string>& lines) {
    if (lines.empty())
        return;
    const int first = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(first, first + static_cast<int>(lines.size()) - 1);
    const std::size_t needed = m_lines.size() + lines.size();
    if (needed > m_lines.capacity()) // geometrically: batches come one after another
        m_lines.reserve(std::max(needed, 2 * m_lines.capacity()));
    for (const std::string& line : lines)
        m_lines.push_back(m_texts.add(line));
    if (m_observer)
        m_observer->endInsertRows();
}

void DeletionLog::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_texts.clear();
    std::vector<TextStore::Ref>().swap(m_lines);
    if (m_observer)
        m_observer->endReset();
}

std::string_view DeletionLog::text(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("DeletionLog: no line at position " + std::to_string(position));
    return m_texts.get(m_lines[static_cast<std::size_t>(position)]);
}

} // namespace cleaner
