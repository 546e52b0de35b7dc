// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text_store.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cleaner {

class ListObserver;

// One line of the log: the folder's path, then what became of it.
struct LogLine {
    std::string text;
    std::size_t pathLength = 0; // text[0, pathLength) is the path
    bool deleted = true; // what it tells of was done (deleted, moved, put back), rather than not
};

// The lines written by deletion runs, oldest first, until cleared. The
// lines sit one after another in blocks, 20 bytes of bookkeeping each.
class DeletionLog {
public:
    // A line that is all path and tells of a folder deleted.
    void AddItem(std::string line);
    // Appends many lines at once, with a single notification.
    void AddItems(const std::vector<LogLine>& lines);
    void Clear();

    int ListCount() const noexcept { return static_cast<int>(m_lines.size()); }
    // Throws std::out_of_range outside 0 .. ListCount() - 1.
    std::string List(int position) const { return std::string(text(position)); }
    // The line without a copy; valid until the log changes.
    std::string_view text(int position) const;
    // How much of the line is the folder's path.
    std::size_t pathLength(int position) const;
    // Whether the line tells of a folder deleted, rather than one that was
    // not or could not be.
    bool Deleted(int position) const;

    // The observer must outlive the log, or be reset to nullptr first.
    void setObserver(ListObserver* observer) noexcept { m_observer = observer; }

private:
    struct Line {
        TextStore::Ref text;
        std::uint32_t pathLength = 0;
        bool deleted = true;
    };
    const Line& line(int position) const;

    TextStore m_texts;
    std::vector<Line> m_lines;
    ListObserver* m_observer = nullptr;
};

} // namespace cleaner
