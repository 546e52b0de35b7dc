// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "folder_keeper.h"
#include "folder_summary.h"
#include "keep_rule.h"
#include "read_ahead.h"
#include "user_home.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace cleaner {

class FolderList;

// A folder that something needs (keep_rule.h), and why, as the user reads it.
struct KeptFolder {
    std::string path;
    std::string reason;
    bool operator==(const KeptFolder&) const = default;
};

// How a scan ended.
struct ScanOutcome {
    enum class Status : std::uint8_t {
        Completed, // every folder beneath the main folder was examined
        Stopped,   // a folder could not be read; later folders were not examined
        Cancelled, // asked to stop from outside
    };
    Status status = Status::Completed;
    std::string stoppedAt;  // Stopped: the folder or entry that could not be read
    std::error_code reason; // Stopped: why, as the system said it
    std::uint64_t foldersExamined = 0;
    std::uint64_t foldersListed = 0;
    // The folders kept however empty they are, in list order: a folder
    // before anything inside it, siblings in byte order of their names.
    std::vector<KeptFolder> kept;
    // The main folder lies in a sealed folder, or is one: nothing in it was
    // read. Its path, and the nearest sealed folder's reason.
    std::optional<KeptFolder> mainFolderKept;
    // Configuration files were left unread (ConfigurationBudget): a folder
    // that only they name may have been listed.
    bool configurationCut = false;
};

// Found folders, in list order, handed over a batch at a time on the
// scanning thread.
using FoundFolders = std::function<void(std::vector<std::string>&&)>;

// Finds every empty folder beneath a main folder.
//
// A folder beneath the main folder is empty when it holds no files directly
// and its whole tree totals zero bytes, and nothing needs it: a folder kept
// by the keep rule (keep_rule.h) is never listed, counts as data for the
// folders above it, and, when sealed, is not read. Folders are listed parent first,
// siblings in byte order of their names. The first folder that can't be
// read stops the scan; because a folder's size covers its whole tree, the
// scan stops before listing anything in the subfolder of the main folder
// whose tree holds the unreadable folder.
//
// The walk reads every folder once, holding one open folder per level and
// only the names still to visit. A folder that holds no files is kept as a
// pending entry until its tree is done; file sizes are looked at only while
// some folder above could still turn out empty.
//
// Folders are read ahead of the walk on a pool of threads (see ReadAhead);
// the walk takes them in its own order, so the outcome is the same with any
// number of threads.
class EmptyFolderScan {
public:
    // Threads reading ahead at first: one per processor but the walk's,
    // at least 1 and at most 16. On a warm cache a read is work for a
    // processor, and the walk reads too while it waits, so more threads
    // than processors only take turns on them (measured on two processors:
    // one thread takes a fifth less time than four).
    static unsigned defaultReadAheadThreads() noexcept;
    // As many, once reads turn out slow (a cold disk or a network drive),
    // where reads wait on the disk far more than on the processor.
    static constexpr unsigned kSlowFileSystemReadAheadThreads = 32;
    static constexpr std::size_t kDefaultReadAheadWindow = 2048;

    EmptyFolderScan(FileSystem& fileSystem, std::string mainFolderPath);

    // Exactly this many threads, however fast reads are; 0 makes the walk
    // read every folder itself, one at a time.
    void setReadAheadThreads(unsigned threads) noexcept { m_threads = m_maxThreads = threads; }
    // Whose home counts as the user's (by default the password database's
    // word for this process's user), for tests.
    void setUserHome(std::optional<std::string> home) { m_userHome = std::move(home); }
    // Whether folders that configuration files name are kept (rule 10); off
    // only to measure what reading the files costs.
    void setReadConfiguration(bool read) noexcept { m_readConfiguration = read; }

    ScanOutcome run(const FoundFolders& found, std::stop_token stop = {});

    // Folders examined so far; may be read from any thread during run().
    // How the last run ended is in its ScanOutcome.
    std::uint64_t foldersExamined() const noexcept { return m_examined.load(std::memory_order_relaxed); }

    const std::string mainFolderPath;

private:
    struct Frame {
        FolderReadPtr folder; // its subfolders are still to visit from `next` on
        std::size_t next = 0;
        std::size_t parentPathLength = 0;
        bool holdsNoFiles = false; // could be listed, if its tree stays at zero bytes
        bool nonZero = false;      // something in its tree has a size
        std::size_t pendingIndex = 0;
    };
    // A folder that may be listed, in list order. Its path is the walk's
    // own while it is being walked, and is copied only once it is listed:
    // a deep tree then holds its path once, not once per level.
    struct Pending {
        std::string path;
        bool rejected = false;
    };

    struct Walked {
        enum Result : std::uint8_t { Completed, Stopped, OutOfDescriptors } result;
        std::size_t subFolder; // of the main folder, where the walk ended
    };
    Walked ShowSubFolders(const FolderReadPtr& mainFolder, std::size_t first, const FoundFolders& found,
                          std::stop_token stop);
    bool listingsCanBeTrusted(FolderHandle mainFolder);
    bool enter(FolderReadPtr folder, std::stop_token stop); // `folder` is read
    void nameConfigured(std::vector<NamedFolder>&& named, int level);
    void keep(const KeepReason& reason);
    void leave();
    void markTreeNonZero();
    void reject(std::size_t pendingIndex);
    void flush(const FoundFolders& found);
    bool fail(std::string at, std::error_code reason);
    Frame& currentFolder() { return m_frames.back(); }

    FileSystem& m_fs;
    std::optional<std::string> m_userHome = userHomeFolder();
    bool m_readConfiguration = true;
    ConfigurationBudget m_budget;
    std::string m_canonicalMain;
    std::unordered_set<std::string> m_homesRead; // beneath the main folder, before the walk
    FolderHandle m_mainHandle = kNoFolder;       // while run() lasts
    unsigned m_threads = defaultReadAheadThreads();
    unsigned m_maxThreads = kSlowFileSystemReadAheadThreads;
    ReadAhead* m_readAhead = nullptr; // while run() lasts
    std::uint64_t m_device = 0;
    std::string m_path; // the folder being read; grows and shrinks with the walk
    std::vector<Frame> m_frames;
    std::vector<Pending> m_pending;
    NamedFolders m_named;             // by the fstab and user-dirs files met so far
    std::size_t m_liveCandidates = 0; // open folders that could still be listed
    FolderSummary m_summary;
    std::vector<DirEntry> m_scratch;
    std::string m_failedName;
    bool m_outOfDescriptors = false; // the last folder entered could not be read for want of them
    ScanOutcome m_outcome;
    std::atomic<std::uint64_t> m_examined{0};
};

// Clears `list` and fills it with the empty folders beneath `mainFolderPath`.
ScanOutcome scanInto(FileSystem& fileSystem, const std::string& mainFolderPath, FolderList& list,
                     std::stop_token stop = {},
                     unsigned readAheadThreads = EmptyFolderScan::defaultReadAheadThreads());

} // namespace cleaner
