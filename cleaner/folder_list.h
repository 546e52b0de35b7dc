// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace cleaner {

class ListObserver;

// The empty folders found by the last scan, each with a mark that says
// whether the user wants it deleted. Entries keep the order they were added
// in; duplicates are allowed. The list grows as far as memory allows.
//
// Positions run from 0 to ListCount() - 1; a position outside that range
// throws std::out_of_range.
class FolderList {
public:
    void AddItem(std::string text);
    // Appends many entries at once, with a single notification.
    void AddItems(std::vector<std::string> texts);
    void RemoveItem(int position);
    void Clear();

    int ListCount() const noexcept { return static_cast<int>(m_entries.size()); }
    const std::string& List(int position) const;
    bool Selected(int position) const;
    void Selected(int position, bool marked);
    // Marks or unmarks every entry, with a single notification.
    void SelectAll(bool marked);
    int SelCount() const noexcept { return m_marked; }

    // The observer must outlive the list, or be reset to nullptr first.
    void setObserver(ListObserver* observer) noexcept { m_observer = observer; }

private:
    struct Entry {
        std::string text;
        bool marked = false;
    };
    std::size_t index(int position) const;

    std::vector<Entry> m_entries;
    int m_marked = 0;
    ListObserver* m_observer = nullptr;
};

} // namespace cleaner
