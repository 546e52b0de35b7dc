// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "removal_outcome.h"

#include <optional>
#include <string>

namespace cleaner {

class DeletionLog;
class FileSystem;
class FolderList;

// Marks every entry of the list.
void ListBoxSelAll(FolderList& List1);
// Clears every entry's mark.
void ListBoxUnmarkAll(FolderList& List1);

// Deletes the folder of every marked entry, in list order, without asking,
// and writes a line for each to `List2`. A folder that is gone leaves the
// list; one that was kept (not empty any more, or the disk refused) stays,
// unmarked. Unmarked entries keep their order and marks.
void ListBoxRemSel(FolderList& List1, DeletionLog& List2, FileSystem& fileSystem);

// The same run, one entry at a time, for a caller that deletes elsewhere
// (on a worker thread) and must keep the window alive in between:
//
//   MarkedEntryRemoval run(List1, List2);
//   while (auto path = run.next())
//       run.finish(fileSystem.DeleteFolder(*path));
//
// The list must not change between next() and finish().
class MarkedEntryRemoval {
public:
    MarkedEntryRemoval(FolderList& List1, DeletionLog& List2) : m_list(List1), m_log(List2) {}

    // The path of the next marked entry, or nothing when none is left.
    std::optional<std::string> next();
    // Logs the outcome for the entry next() gave, and takes the entry out of
    // the list or unmarks it.
    void finish(const RemovalOutcome& outcome);

    int deletedCount() const noexcept { return m_deleted; }
    int keptCount() const noexcept { return m_kept; }

private:
    FolderList& m_list;
    DeletionLog& m_log;
    int m_position = 0;
    int m_deleted = 0;
    int m_kept = 0;
};

} // namespace cleaner
