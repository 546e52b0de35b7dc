// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_list.h"

#include "list_observer.h"

#include <stdexcept>

namespace cleaner {

std::size_t FolderList::index(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("FolderList: no entry at position " + std::to_string(position));
    return static_cast<std::size_t>(position);
}

void FolderList::AddItem(std::string text) {
    const int row = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(row, row);
    m_entries.push_back(Entry{std::move(text), false});
    if (m_observer)
        m_observer->endInsertRows();
}

void FolderList::AddItems(std::vector<std::string> texts) {
    if (texts.empty())
        return;
    const int first = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(first, first + static_cast<int>(texts.size()) - 1);
    m_entries.reserve(m_entries.size() + texts.size());
    for (std::string& text : texts)
        m_entries.push_back(Entry{std::move(text), false});
    if (m_observer)
        m_observer->endInsertRows();
}

void FolderList::RemoveItem(int position) {
    const bool wasMarked = m_entries[index(position)].marked;
    if (m_observer)
        m_observer->beginRemoveRows(position, position);
    m_entries.erase(m_entries.begin() + position);
    if (wasMarked)
        --m_marked;
    if (m_observer)
        m_observer->endRemoveRows();
}

void FolderList::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_entries.clear();
    m_marked = 0;
    if (m_observer)
        m_observer->endReset();
}

const std::string& FolderList::List(int position) const {
    return m_entries[index(position)].text;
}

bool FolderList::Selected(int position) const {
    return m_entries[index(position)].marked;
}

void FolderList::Selected(int position, bool marked) {
    Entry& entry = m_entries[index(position)];
    if (entry.marked == marked)
        return;
    entry.marked = marked;
    m_marked += marked ? 1 : -1;
    if (m_observer)
        m_observer->marksChanged(position, position);
}

void FolderList::SelectAll(bool marked) {
    if (m_entries.empty())
        return;
    for (Entry& entry : m_entries)
        entry.marked = marked;
    m_marked = marked ? ListCount() : 0;
    if (m_observer)
        m_observer->marksChanged(0, ListCount() - 1);
}

} // namespace cleaner
