// SPDX-License-Identifier: GPL-3.0-or-later
#include "marking.h"

#include "deletion_log.h"
#include "file_system.h"
#include "folder_list.h"

namespace cleaner {

void ListBoxSelAll(FolderList& List1) {
    List1.SelectAll(true);
}

void ListBoxUnmarkAll(FolderList& List1) {
    List1.SelectAll(false);
}

void ListBoxRemSel(FolderList& List1, DeletionLog& List2, FileSystem& fileSystem) {
    MarkedEntryRemoval run(List1, List2);
    while (const auto path = run.next())
        run.finish(fileSystem.DeleteFolder(*path));
}

// Every entry before the current position is unmarked, and each handled
// entry either leaves the list or loses its mark, so the run ends once the
// last marked entry is handled, even when entries stay.
std::optional<std::string> MarkedEntryRemoval::next() {
    while (m_list.SelCount() != 0 && m_position < m_list.ListCount()) {
        if (m_list.Selected(m_position))
            return m_list.List(m_position);
        ++m_position;
    }
    return std::nullopt;
}

void MarkedEntryRemoval::finish(const RemovalOutcome& outcome) {
    m_log.AddItem(deletionLogLine(m_list.List(m_position), outcome));
    if (outcome.isGone()) {
        m_list.RemoveItem(m_position); // the next entry moves into this position
        ++m_deleted;
    } else {
        m_list.Selected(m_position, false);
        ++m_position;
        ++m_kept;
    }
}

} // namespace cleaner
