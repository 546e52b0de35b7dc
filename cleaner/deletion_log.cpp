// SPDX-License-Identifier: GPL-3.0-or-later
#include "deletion_log.h"

#include "list_observer.h"

#include <stdexcept>

namespace cleaner {

void DeletionLog::AddItem(std::string line) {
    const int row = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(row, row);
    m_lines.push_back(std::move(line));
    if (m_observer)
        m_observer->endInsertRows();
}

void DeletionLog::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_lines.clear();
    if (m_observer)
        m_observer->endReset();
}

const std::string& DeletionLog::List(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("DeletionLog: no line at position " + std::to_string(position));
    return m_lines[static_cast<std::size_t>(position)];
}

} // namespace cleaner
