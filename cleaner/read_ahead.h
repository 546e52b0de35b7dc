// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "folder_summary.h"
#include "keep_rule.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace cleaner {

struct FolderRead;
using FolderReadPtr = std::shared_ptr<FolderRead>;

// A folder that might still be listed, as the readers know it: once
// anything of size turns up beneath it, neither it nor any folder above it
// can be listed, and nothing beneath it needs file sizes any more.
struct Undecided {
    explicit Undecided(std::shared_ptr<Undecided> above_) : above(std::move(above_)) {}
    // Something of size was found beneath: so too beneath every folder above.
    void holdsData() noexcept {
        for (Undecided* folder = this; folder && !folder->data.exchange(true, std::memory_order_relaxed);
             folder = folder->above.get()) {
        }
    }
    bool stillUndecided() const noexcept { return !data.load(std::memory_order_relaxed); }

    std::atomic<bool> data{false};
    const std::shared_ptr<Undecided> above;
};

// One folder beneath the main folder, as reading it gave it.
struct FolderRead {
    std::string name;
    // Where it comes in the walk: its index among its siblings, and theirs
    // on the way up. Folders compare in walk order by these. Handed on to
    // its last subfolder once every subfolder's read has begun.
    std::vector<std::uint32_t> place;

    OpenFolder folder;      // open once read, unless reading failed
    std::error_code error;  // opening or listing failed
    std::string failedName; // the entry that could not be examined, if that was it
    // All but the sizes of its regular files. The names of its subfolders
    // go to their own reads as these begin.
    FolderSummary summary;

    // What the keep rule knows of it once read, for judging its subfolders.
    FolderFacts facts;
    // Kept by rules 1 to 6: judged by name and place when its read begins
    // (sealed by name: never opened), by what it holds once read (sealed:
    // its subfolders are not read). Rules 7 and 8 are the walk's to apply.
    std::optional<KeepReason> kept;
    // What its fstab and user-dirs file name, when anything.
    std::unique_ptr<NamedInside> named;

    // The nearest folder above it that might still be listed (beneath the
    // main folder, holding no files, not kept), and its own such mark when
    // it is one. While that folder is undecided, the sizes of this folder's
    // files may matter, and the reader measures them: on many threads
    // rather than on the walk's one. The walk knows exactly and measures
    // what the readers left; they only measure early what may be needed.
    std::shared_ptr<Undecided> undecidedAbove;
    std::shared_ptr<Undecided> undecided;
    bool sizesMeasured = false; // as far as SizeNeed::UntilNonZero goes

    // Its subfolders, one slot each: empty until a read of it begins.
    std::vector<FolderReadPtr> subFolders;
    std::size_t nextToRead = 0; // the first subfolder no read has begun for

    enum class State : std::uint8_t { Reading, Read };
    State state = State::Reading;
    bool held = false; // read ahead and counted in the window until taken
};

// Reads folders ahead of an ordered walk on a pool of threads, so that many
// reads are in flight while the walk decides one folder at a time.
//
// Folders are read in walk order as far as the threads get: the one that
// comes first in the walk among those known and not yet begun goes next.
// Reading a folder means opening it through its parent's handle, listing
// it and examining its subfolder entries, as the walk itself would; each
// folder read makes its subfolders known. A folder that must be kept
// whatever it holds is judged as its read begins (keep_rule.h): one sealed
// by its name is never opened, and one sealed by what it holds makes none
// of its subfolders known. At most `window` folders are held
// read ahead (each with its open handle), and far fewer until reads turn
// out slow; when the walk needs a folder no thread has begun, it reads it
// itself, and on a fast file system it reads the next ones while it waits
// for one being read. A read changes nothing on disk, so folders read
// beyond the point where a walk stops are simply let go.
//
// A folder owns the reads of its subfolders, and a parent stays alive while
// a read of one of its subfolders is under way, so nothing points back up.
// With no threads, every folder is read by the walk when it takes it.
class ReadAhead {
public:
    // Starts `threads` threads, and up to `maxThreads` once reads turn out
    // slow (a cold disk, a network drive), where more reads in flight pay.
    // Threads the system can't start are done without. Folders are listed
    // on `device` as listFolder() lists them, with `listedFoldersAreReal`.
    // `fileSystem` must outlive every reader (see readersRunning()).
    ReadAhead(FileSystem& fileSystem, std::uint64_t device, bool listedFoldersAreReal, unsigned threads,
              unsigned maxThreads, std::size_t window, std::stop_token stop);
    // Stops the threads: idle ones at once. Once the walk is done, nothing
    // still being read is needed, so a thread that is still in a read after
    // a short grace (a hung network drive) is let go: it finishes that read
    // on its own, lets go of what it holds and ends, and nobody waits for it.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The main folder, already open (and staying open while this object
    // lives) and holding the subfolders `names`, which are judged by
    // `facts`; they are read from now on, from the one at `first`.
    FolderReadPtr start(FolderHandle mainFolder, std::vector<std::string> names, const FolderFacts& facts,
                        std::size_t first = 0);
    // Subfolder `index` of `folder`, once read: read by a thread, or now on
    // this thread if none has begun. The walk takes a folder's subfolders
    // in order, each once.
    FolderReadPtr take(const FolderReadPtr& folder, std::size_t index);

    // `wanted`, or less when this process's descriptor limit is low: the
    // window may take a quarter of it, the rest is left to the walk's own
    // folders (one per level) and to everyone else.
    static std::size_t windowFor(std::size_t wanted);
    // Whether any thread reads ahead (none could be started, or none was asked for).
    bool readsAhead() const noexcept;
    // Reader threads of every ReadAhead in this process that have not ended
    // yet, those let go included: until none is left, their file systems
    // may still be used.
    static std::size_t readersRunning() noexcept;

private:
    // What the threads share with the walk; a thread let go keeps it alive.
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::stop_callback<std::function<void()>> m_onStop; // wakes the threads when the walk is cancelled
};

} // namespace cleaner
