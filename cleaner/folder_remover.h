// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "folder_keeper.h"
#include "folder_summary.h"
#include "keep_rule.h"
#include "removal_outcome.h"
#include "trash_can.h"
#include "user_home.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <stop_token>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace cleaner {

// Every folder deleted since the list was filled, the marked ones and every
// folder beneath them. A marked entry whose folder is gone went with one of
// these ("has been deleted"), or vanished for some other reason ("no longer
// there"): only what we deleted ourselves is ever logged as deleted,
// whatever order the entries come in.
class DeletedFolders {
public:
    void add(std::string path) { m_paths.insert(std::move(path)); }
    void remove(const std::string& path) { m_paths.erase(path); }
    bool contains(const std::string& path) const { return m_paths.contains(path); }
    void clear() noexcept { m_paths.clear(); }
    std::size_t size() const noexcept { return m_paths.size(); }

private:
    std::unordered_set<std::string> m_paths;
};

// One folder to delete.
struct RemovalRequest {
    std::string path;
};

// Deletes listed folders beneath one main folder, never anything else.
//
// Each folder is reached from the main folder's handle one name at a time,
// never through a link, never onto another file system or a mount; when the
// way no longer leads to a real folder, nothing is touched. A folder goes
// only if it is still empty: a read-only pass checks its whole tree first,
// then the same folders (the top one held open, the others matched by
// device and inode) are emptied bottom-up. Each zero-byte file is first
// moved into a private staging folder and looked at there, so a file swapped
// in at the last moment is put back rather than removed. Whatever changes on
// disk meanwhile, only zero-byte regular files and empty folders go.
//
// A folder that something needs (keep_rule.h) is never touched: neither a
// kept entry, nor one inside a sealed folder, nor one whose tree now holds
// a kept folder. The rule is applied on the way down, as the scan applies it.
//
// Consecutive entries share most of their way down, so the open folders of
// the way are kept from one entry to the next (each checked to still stand
// under its name). No recursion: any depth works on a small stack.
class FolderRemover {
public:
    FolderRemover(FileSystem& fileSystem, std::string mainFolderPath, DeletedFolders& deleted);

    // Deletes only while the main folder is still the one the list was made
    // of; otherwise every entry is no longer there.
    void expectMainFolder(const EntryStatus& identity) { m_expectedMain = identity; }
    // Whose home counts as the user's, as for the scan.
    void setUserHome(std::optional<std::string> home) { m_userHome = std::move(home); }
    // From now on, folders go to `trash` whole instead of being deleted:
    // checked as for a deletion, moved by one rename, and checked again
    // there (what gained data meanwhile goes back). `trash` must outlive
    // this remover.
    void moveToTrashCan(TrashCan& trash) noexcept { m_trash = &trash; }
    // Counts into `gone` every folder that leaves the disk or moves to the
    // Trash, as it goes, for another thread to read: a big tree takes a
    // while, and the count follows it. `gone` must outlive this remover.
    void countInto(std::atomic<std::uint64_t>& gone) noexcept { m_gone = &gone; }
    // Stops when `stop` is requested: between folders, even within a tree,
    // which then stays as far as it got ("stopped" as the reason).
    void stopOn(std::stop_token stop) noexcept { m_stop = std::move(stop); }

    // The folders moved to the Trash so far, in the order they went.
    const std::vector<TrashedItem>& trashed() const noexcept { return m_trashed; }

    RemovalOutcome DeleteFolder(const RemovalRequest& request);

    const std::string mainFolderPath;

private:
    struct WayStep {
        WayStep(std::string name_, OpenFolder folder_, const EntryStatus& status_)
            : name(std::move(name_)), folder(std::move(folder_)), status(status_) {}

        std::string name;
        OpenFolder folder;
        EntryStatus status;
        // What the keep rule says of it, once asked (see sealedOnTheWay).
        bool judged = false;
        std::optional<KeepReason> sealed;
        FolderFacts facts;
    };
    // A folder of the tree being deleted, as the read-only pass saw it.
    struct CheckedFolder {
        std::string name;
        EntryStatus status;
        std::size_t firstChild = 0; // its subfolders are nodes [firstChild, firstChild + childCount)
        std::size_t childCount = 0;
        std::size_t parent = 0;
        FolderFacts facts; // once judged, for judging its subfolders
    };
    class Staging;

    bool openMainFolder();
    RemovalOutcome walkTo(const std::vector<std::string_view>& names);
    RemovalOutcome removeTarget(FolderHandle parent, const std::string& name, const std::string& path);
    std::optional<KeepReason> sealedOnTheWay();
    void judgeWayStep(std::size_t depth);
    RemovalOutcome checkTree(FolderHandle top);
    RemovalOutcome summarise(std::size_t node, FolderHandle folder);
    RemovalOutcome judgeNode(std::size_t node, FolderHandle folder);
    std::string nodePath(std::size_t node) const;
    std::error_code removeTree(FolderHandle top, Staging& staging);
    std::error_code removeFiles(FolderHandle folder, std::size_t node, Staging& staging);
    std::error_code removeFolder(FolderHandle parent, std::size_t node);
    RemovalOutcome gone() const;
    RemovalOutcome moveToTrash(FolderHandle parent, const std::string& name, const EntryStatus& status);
    std::string pathOf(const std::vector<std::string_view>& names, std::size_t count) const;

    FileSystem& m_fs;
    DeletedFolders& m_deleted;
    std::optional<EntryStatus> m_expectedMain;
    std::optional<std::string> m_userHome = userHomeFolder();
    std::string m_canonicalMain;
    ConfigurationBudget m_budget; // for the configuration files of the run
    bool m_mainOpened = false;
    RemovalOutcome m_mainProblem; // when the main folder can't be used
    NamedFolders m_named;         // by the fstab and user-dirs files on the way
    std::error_code m_shortOf;    // a file on the way could not be read for want of descriptors
    std::string m_targetPath; // the entry being deleted, as the scan spells it
    std::string m_targetRealPath; // and by its real path, where the main folder's is known
    TrashCan* m_trash = nullptr;
    std::vector<TrashedItem> m_trashed;
    std::atomic<std::uint64_t>* m_gone = nullptr;
    std::stop_token m_stop;
    std::uint64_t m_removedFolders = 0; // by the entry being deleted
    std::uint64_t m_device = 0;
    std::vector<WayStep> m_way; // [0] is the main folder
    std::vector<CheckedFolder> m_nodes;
    FolderSummary m_summary;
    std::vector<DirEntry> m_scratch; // the check's
    std::vector<DirEntry> m_entries; // the removal's
    std::mt19937_64 m_random;
};

} // namespace cleaner
