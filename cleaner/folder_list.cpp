// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_list.h"

#include "list_observer.h"
#include "path.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace cleaner {

const FolderList::Entry& FolderList::entry(int position) const {
    if (position < 0 || position >= ListCount())
        throw std::out_of_range("FolderList: no entry at position " + std::to_string(position));
    const auto index = static_cast<std::size_t>(position);
    return m_entries[index < m_gapBegin ? index : index + gapSize()];
}

FolderList::Entry& FolderList::entry(int position) {
    return const_cast<Entry&>(std::as_const(*this).entry(position));
}

std::string_view FolderList::text(int position) const {
    return m_texts.get(entry(position).text);
}

void FolderList::append(std::string_view text) {
    m_goesWithKnown = false;
    m_entries.push_back(Entry{m_texts.add(text), false});
}

// Moves the gap so that it starts at `position`; only the entries between
// the old and the new place move.
void FolderList::moveGapTo(std::size_t position) {
    const auto at = [this](std::size_t index) {
        return m_entries.begin() + static_cast<std::ptrdiff_t>(index);
    };
    if (position < m_gapBegin) {
        std::move_backward(at(position), at(m_gapBegin), at(m_gapEnd));
    } else if (position > m_gapBegin) {
        const std::size_t shift = position - m_gapBegin;
        std::move(at(m_gapEnd), at(m_gapEnd + shift), at(m_gapBegin));
    }
    const std::size_t size = gapSize();
    m_gapBegin = position;
    m_gapEnd = position + size;
}

void FolderList::AddItem(std::string text) {
    const int row = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(row, row);
    append(text);
    if (m_observer)
        m_observer->endInsertRows();
}

void FolderList::AddItems(std::vector<std::string> texts) {
    if (texts.empty())
        return;
    const int first = ListCount();
    if (m_observer)
        m_observer->beginInsertRows(first, first + static_cast<int>(texts.size()) - 1);
    // Room to grow geometrically: an exact reserve would move every entry
    // again for each batch, and a scan hands over many.
    const std::size_t needed = m_entries.size() + texts.size();
    if (needed > m_entries.capacity())
        m_entries.reserve(std::max(needed, 2 * m_entries.capacity()));
    for (const std::string& text : texts)
        append(text);
    if (m_observer)
        m_observer->endInsertRows();
}

void FolderList::RemoveItem(int position) {
    RemoveItems(position, 1);
}

void FolderList::RemoveItems(int first, int count) {
    if (count <= 0)
        return;
    entry(first);
    entry(first + count - 1); // both ends must exist
    m_goesWithKnown = false;
    if (m_observer)
        m_observer->beginRemoveRows(first, first + count - 1);
    moveGapTo(static_cast<std::size_t>(first));
    for (std::size_t i = m_gapEnd; i < m_gapEnd + static_cast<std::size_t>(count); ++i)
        m_marked -= m_entries[i].marked ? 1 : 0;
    m_gapEnd += static_cast<std::size_t>(count);
    if (m_observer)
        m_observer->endRemoveRows();
}

void FolderList::Clear() {
    if (m_observer)
        m_observer->beginReset();
    m_goesWithKnown = false;
    m_texts.clear();
    std::vector<Entry>().swap(m_entries);
    m_gapBegin = m_gapEnd = 0;
    m_marked = 0;
    ++m_generation;
    if (m_observer)
        m_observer->endReset();
}

bool FolderList::Selected(int position) const {
    return entry(position).marked;
}

void FolderList::Selected(int position, bool marked) {
    Entry& found = entry(position);
    if (found.marked == marked)
        return;
    found.marked = marked;
    m_marked += marked ? 1 : -1;
    m_goesWithKnown = false;
    if (m_observer)
        m_observer->marksChanged(position, position);
}

void FolderList::SelectAll(bool marked) {
    if (ListCount() == 0)
        return;
    m_goesWithKnown = false;
    for (Entry& each : m_entries)
        each.marked = marked; // the gap's slots too: they are never read
    m_marked = marked ? ListCount() : 0;
    if (m_observer)
        m_observer->marksChanged(0, ListCount() - 1);
}

void FolderList::findWhatGoesWith() const {
    if (m_goesWithKnown)
        return;
    m_goesWith.assign(static_cast<std::size_t>(ListCount()), false);
    m_willGo = 0;
    std::vector<std::string_view> markedAbove; // the marked entries the walk is beneath, outermost first
    for (int position = 0; position < ListCount(); ++position) {
        const Entry& at = entry(position);
        const std::string_view path = m_texts.get(at.text);
        while (!markedAbove.empty() && !isBeneath(path, markedAbove.back()))
            markedAbove.pop_back();
        const bool goesWith = !markedAbove.empty();
        m_goesWith[static_cast<std::size_t>(position)] = goesWith;
        m_willGo += goesWith || at.marked ? 1 : 0;
        if (at.marked && !goesWith)
            markedAbove.push_back(path);
    }
    m_goesWithKnown = true;
}

bool FolderList::GoesWithMarked(int position) const {
    entry(position); // it must exist
    findWhatGoesWith();
    return m_goesWith[static_cast<std::size_t>(position)];
}

int FolderList::WillGoCount() const {
    findWhatGoesWith();
    return m_willGo;
}

int FolderList::EndBeneath(int position) const {
    const std::string_view folder = text(position);
    int end = position + 1;
    while (end < ListCount() && isBeneath(text(end), folder))
        ++end;
    return end;
}

// The first position whose entry comes after `key`.
int FolderList::placeOf(const EntryKey& key) const {
    int low = 0;
    int high = ListCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (EntryKey{entry(middle).text}.order() <= key.order())
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// Fills the gap at `position` with `keys`, widening it first when it is
// too narrow.
void FolderList::insertAt(int position, std::span<const EntryKey> keys) {
    m_goesWithKnown = false;
    moveGapTo(static_cast<std::size_t>(position));
    if (gapSize() < keys.size()) {
        const std::size_t wider = keys.size() - gapSize();
        m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(m_gapEnd), wider, Entry{});
        m_gapEnd += wider;
    }
    for (const EntryKey& key : keys)
        m_entries[m_gapBegin++] = Entry{key.text, false};
}

void FolderList::Restore(std::vector<EntryKey> keys) {
    std::sort(keys.begin(), keys.end(),
              [](const EntryKey& a, const EntryKey& b) { return a.order() < b.order(); });
    std::size_t first = 0;
    while (first < keys.size()) {
        const int place = placeOf(keys[first]);
        std::size_t last = first + 1;
        while (last < keys.size() && placeOf(keys[last]) == place)
            ++last;
        const std::span<const EntryKey> run(keys.data() + first, last - first);
        const int count = static_cast<int>(run.size());
        if (m_observer)
            m_observer->beginInsertRows(place, place + count - 1);
        insertAt(place, run);
        if (m_observer)
            m_observer->endInsertRows();
        first = last;
    }
}

} // namespace cleaner
