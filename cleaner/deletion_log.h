// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text_store.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

class ListObserver;

// The lines written by deletion runs, oldest first, until cleared, each
// knowing whether it tells of a folder deleted. The lines sit one after
// another in blocks, 12 bytes of bookkeeping each.
class DeletionLog {
public:
    void AddItem(std::string line, bool deleted = true);
    // Appends many lines at once, with a single notification; `deleted`
    // says of each line whether its folder was deleted.
    void AddItems(const std::vector<std::string>& lines, const std::vector<bool>& deleted);
    void Clear();

    int ListCount() const noexcept { return static_cast<int>(m_lines.size()); }
    // Throws std::out_of_range outside 0 .. ListCount() - 1.
    std::string List(int position) const { return std::string(text(position)); }
    // The line without a copy; valid until the log changes.
    std::string_view text(int position) const;
    // Whether the line tells of a folder deleted, rather than one that was
    // not or could not be.
    bool Deleted(int position) const;

    // The observer must outlive the log, or be reset to nullptr first.
    void setObserver(ListObserver* observer) noexcept { m_observer = observer; }

private:
    void checkPosition(int position) const;

    TextStore m_texts;
    std::vector<TextStore::Ref> m_lines;
    std::vector<bool> m_deleted;
    ListObserver* m_observer = nullptr;
};

} // namespace cleaner
