// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "folder_list.h"
#include "folder_remover.h"
#include "removal_outcome.h"

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cleaner {

class DeletionLog;
class TrashCan;
class FileSystem;

// Marks every entry of the list.
void ListBoxSelAll(FolderList& List1);
// Clears every entry's mark.
void ListBoxUnmarkAll(FolderList& List1);

// Deletes the folder of every marked entry, in list order, without asking,
// and writes a line for each to `List2`. Only folders beneath
// `mainFolderPath` are ever deleted (see FolderRemover). A folder that is
// gone leaves the list; one that was kept (not empty any more, or the disk
// refused) stays, unmarked; one the user stopped midway (RemovalError::
// Stopped) stays marked. Unmarked entries keep their order and marks,
// but those beneath a folder that was deleted leave the list with it (they
// are gone, and not logged: nobody asked for them).
// `deleted` remembers, from one run to the next, the folders deleted since
// the list was filled, so that an entry that went with one of them is
// logged as deleted and any other missing one as no longer there.
// With a `trash`, each folder moves there whole instead (see TrashCan).
void ListBoxRemSel(FolderList& List1, DeletionLog& List2, FileSystem& fileSystem,
                   const std::string& mainFolderPath, DeletedFolders& deleted, TrashCan* trash = nullptr);

// The same run, one entry at a time, for a caller that deletes elsewhere
// (on a worker thread) and must keep the window alive in between:
//
//   MarkedEntryRemoval run(List1, List2);
//   while (auto request = run.next())
//       run.finish(remover.DeleteFolder(*request));
//
// requests() gives the same requests all at once, before the run starts,
// and finish() then takes their outcomes in order, as many at a time as
// come. The list must not change otherwise while the run lasts.
//
// Handling a batch costs the entries it passes, not the list's length:
// gone entries next to each other leave the list in one removal, and the
// batch's log lines are added in one go.
class MarkedEntryRemoval {
public:
    MarkedEntryRemoval(FolderList& List1, DeletionLog& List2) : m_list(List1), m_log(List2) {}

    std::vector<RemovalRequest> requests() const;
    // The next marked entry, or nothing when none is left.
    std::optional<RemovalRequest> next();
    // Logs the outcome for the entry next() gave, and takes the entry out of
    // the list or unmarks it.
    void finish(const RemovalOutcome& outcome) { finish(std::span(&outcome, 1)); }
    // The same for the next outcomes.size() marked entries, in list order.
    // Returns how many were applied: fewer only when no marked entry is
    // left for the rest.
    std::size_t finish(std::span<const RemovalOutcome> outcomes);

    // From now on, an entry that no Trash can take is neither logged nor
    // unmarked: it waits for the user to say whether it may be deleted
    // for good (waitingForTrash()).
    void holdWhereNoTrash() noexcept { m_holdWhereNoTrash = true; }

    int deletedCount() const noexcept { return m_deleted; }
    int notDeletedCount() const noexcept { return m_notDeleted; }
    // The folders removed from the disk, the marked ones and all beneath them.
    std::uint64_t foldersRemoved() const noexcept { return m_foldersRemoved; }
    // How many marked entries went to the Trash (with those beneath them).
    int movedToTrashCount() const noexcept { return m_movedToTrash; }
    // The entries held back for want of a Trash, and why, each reason once.
    int waitingForTrash() const noexcept { return m_waiting; }
    const std::vector<std::string>& whyNoTrash() const noexcept { return m_whyNoTrash; }
    // For each folder moved to the Trash, in the order they went: the
    // entries that left the list with it, its own and those beneath it.
    const std::vector<std::vector<FolderList::EntryKey>>& wentToTrash() const noexcept { return m_wentToTrash; }

private:
    RemovalRequest requestAt(int position) const;

    FolderList& m_list;
    DeletionLog& m_log;
    int m_position = 0;
    int m_deleted = 0;
    int m_notDeleted = 0;
    int m_movedToTrash = 0;
    int m_waiting = 0;
    bool m_holdWhereNoTrash = false;
    std::uint64_t m_foldersRemoved = 0;
    // The outermost folder deleted last: unmarked entries beneath it went
    // with it, and leave the list as they come.
    std::string m_deletedFolder;
    bool m_deletedFolderTrashed = false;
    std::vector<std::string> m_whyNoTrash;
    std::vector<std::vector<FolderList::EntryKey>> m_wentToTrash;
};

} // namespace cleaner
