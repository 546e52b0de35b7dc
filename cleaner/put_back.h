// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "folder_list.h"
#include "trash_can.h"

#include <cstdint>
#include <span>
#include <system_error>
#include <vector>

namespace cleaner {

class DeletedFolders;
class DeletionLog;

// One Delete that moved folders to the Trash, remembered so that it can be
// taken back.
struct TrashedDeletion {
    std::vector<TrashedItem> items; // in the order they went
    // entries[i]: the list entries that left with items[i].
    std::vector<std::vector<FolderList::EntryKey>> entries;
    std::uint64_t listGeneration = 0; // of the list they left
};

// Takes one Delete back, a folder at a time, for a caller that moves the
// folders elsewhere (on a worker thread):
//
//   PutBackRun run(List1, List2, deleted, std::move(deletion));
//   for (const TrashedItem& item : run.items())
//       run.finish(trash.putBack(item));
//
// items() come newest first, and finish() takes their outcomes in that
// order, as many at a time as come. Each folder put back is logged, and
// its entries return to the list at their places, unmarked, as long as the
// list was not filled anew since; one that can't come back is logged with
// the reason, and stays in the Trash.
class PutBackRun {
public:
    PutBackRun(FolderList& List1, DeletionLog& List2, DeletedFolders& deleted, TrashedDeletion deletion);

    const std::vector<TrashedItem>& items() const noexcept { return m_items; }
    std::size_t finish(std::span<const std::error_code> outcomes);

    int putBackCount() const noexcept { return m_putBack; }
    int notPutBackCount() const noexcept { return m_notPutBack; }
    // The list entries that came back with them.
    std::size_t entriesReturned() const noexcept { return m_entriesReturned; }
    // What was not handled yet (the run was stopped), to be taken back later:
    // the same Delete, less what this run handled.
    TrashedDeletion rest() const;
    // Whether folders came back that a list filled since the Delete can't show.
    bool listIsBehind() const noexcept { return m_listIsBehind; }

private:
    FolderList& m_list;
    DeletionLog& m_log;
    DeletedFolders& m_deleted;
    std::vector<TrashedItem> m_items;                         // newest first
    std::vector<std::vector<FolderList::EntryKey>> m_entries; // as m_items
    std::uint64_t m_listGeneration;
    std::size_t m_next = 0;
    int m_putBack = 0;
    int m_notPutBack = 0;
    std::size_t m_entriesReturned = 0;
    bool m_listIsBehind = false;
};

} // namespace cleaner
