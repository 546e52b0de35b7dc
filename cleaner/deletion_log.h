// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace cleaner {

class ListObserver;

// The lines written by deletion runs, oldest first, until cleared.
class DeletionLog {
public:
    void AddItem(std::string line);
    void Clear();

    int ListCount() const noexcept { return static_cast<int>(m_lines.size()); }
    // Throws std::out_of_range outside 0 .. ListCount() - 1.
    const std::string& List(int position) const;

    // The observer must outlive the log, or be reset to nullptr first.
    void setObserver(ListObserver* observer) noexcept { m_observer = observer; }

private:
    std::vector<std::string> m_lines;
    ListObserver* m_observer = nullptr;
};

} // namespace cleaner
