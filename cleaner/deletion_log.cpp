// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_log.h"

#include "list_observer.h"

#include <algorithm>
#include <stdexcept>

namespace cleaner {

void DeletionLog::AddItem(std::string line, bool deleted) {
    AddItems({std::move(line)}, {deleted});
}

void DeletionLog::AddItems(const std::vector<std::string>& lines, const std::vector<bool>& deleted) {
    if (lines.empty())
        return;
    if (deleted.size() != lines.size())
        throw std::invalid_argument("DeletionLog: one deleted flag per line");
    const int first = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(first, first + static_cast<int>(lines.size()) - 1);
    const std::size_t needed = m_lines.size() + lines.size();
    if (needed > m_lines.capacity()) // geometrically: batches come one after another
        m_lines.reserve(std::max(needed, 2 * m_lines.capacity()));
    for (const std::string& line : lines)
        m_lines.push_back(m_texts.add(line));
    m_deleted.insert(m_deleted.end(), deleted.begin(), deleted.end());
    if (m_observer)
        m_observer->endInsertRows();
}

void DeletionLog::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_texts.clear();
    std::vector<TextStore::Ref>().swap(m_lines);
    std::vector<bool>().swap(m_deleted);
    if (m_observer)
        m_observer->endReset();
}

std::string_view DeletionLog::text(int position) const {
    checkPosition(position);
    return m_texts.get(m_lines[static_cast<std::size_t>(position)]);
}

bool DeletionLog::Deleted(int position) const {
    checkPosition(position);
    return m_deleted[static_cast<std::size_t>(position)];
}

void DeletionLog::checkPosition(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("DeletionLog: no line at position " + std::to_string(position));
}

} // namespace cleaner
