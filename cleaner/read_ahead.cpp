// SPDX-License-Identifier: GPL-3.0-or-later
#include "read_ahead.h"

#include "folder_keeper.h"
#include "fs_error.h"

#include <algorithm>
#include <chrono>

#include <sys/resource.h>

namespace cleaner {

namespace {

// Folders held read ahead on a fast file system. There a read takes
// microseconds, and what it leaves in the processor's caches (the names
// read, the kernel's state of the open folder) is gone again if the walk
// takes the folder thousands of reads later: on a warm cache a window of
// 32 took a third less processor time than one of 2048. Only a slow file
// system needs many reads in flight.
constexpr std::size_t kFastFileSystemWindow = 32;

} // namespace

// Every reader thread holds the state it shares with the walk, so that a
// thread let go while the walk ends can finish its read on its own.
struct ReadAhead::Shared : std::enable_shared_from_this<Shared> {
    Shared(FileSystem& fileSystem, std::uint64_t device, bool listedFoldersAreReal, unsigned maxThreads,
           std::size_t window, std::stop_token stop)
        : m_fs(fileSystem), m_device(device), m_listedFoldersAreReal(listedFoldersAreReal),
          m_fullWindow(std::max<std::size_t>(window, 1)),
          m_window(std::min(m_fullWindow, kFastFileSystemWindow)), m_stop(stop), m_maxThreads(maxThreads) {
        m_threads.reserve(m_maxThreads);
    }

    // Folders with subfolders not yet begun, by where the next one comes.
    struct NextInWalkOrder {
        bool operator()(const FolderReadPtr& a, const FolderReadPtr& b) const;
    };

    FolderReadPtr start(FolderHandle mainFolder, std::vector<std::string> names, const FolderFacts& facts,
                        std::size_t first);
    FolderReadPtr take(const FolderReadPtr& folder, std::size_t index);
    void work();
    // These with m_mutex held.
    FolderReadPtr begin(const FolderReadPtr& parent, FolderReadPtr folder);
    FolderReadPtr claimNext(const FolderReadPtr& parent, FolderReadPtr folder);
    bool helpsRead() const;
    void readNext(std::unique_lock<std::mutex>& lock, std::vector<DirEntry>& scratch);
    std::size_t finish(const FolderReadPtr& folder);
    void wakeFor(std::size_t newFolders);
    static void judgeBegun(const FolderRead& parent, FolderRead& folder);
    void judgeRead(bool blocked);
    void growIfSlow();
    void startThreads(std::size_t count);
    void read(const FolderReadPtr& parent, FolderRead& folder, std::vector<DirEntry>& scratch);
    void relock(std::unique_lock<std::mutex>& lock) const;
    void stopWorking();
    void end();

    FileSystem& m_fs;
    const std::uint64_t m_device;
    const bool m_listedFoldersAreReal;
    const std::size_t m_fullWindow;
    std::size_t m_window; // the full one once the file system turns out slow
    const std::stop_token m_stop;
    FolderReadPtr m_root;
    FolderHandle m_rootHandle = -1; // the main folder, the caller's

    std::mutex m_mutex;
    std::condition_variable m_workToDo;    // for the threads
    std::condition_variable m_folderRead;  // for the walk
    std::condition_variable m_threadEnded; // for the walk, as it ends
    std::set<FolderReadPtr, NextInWalkOrder> m_unread;
    std::size_t m_held = 0;
    bool m_windowFull = false; // until half of it has been taken
    std::size_t m_idle = 0;    // threads waiting for work
    // Threads started and not yet ended: counted up as each starts (with
    // or without m_mutex held), down with m_mutex held as each ends.
    std::atomic<std::size_t> m_running{0};
    unsigned m_maxThreads = 0;
    // Whether the file system is slow, judged on the threads' first reads.
    std::atomic<bool> m_judged{false};
    std::uint64_t m_judgedReads = 0;
    std::uint64_t m_blockedReads = 0;
    bool m_slowFileSystem = false;
    bool m_walkWaits = false;
    std::atomic<bool> m_stopping{false};
    // No more threads than processors, the walk's included.
    std::atomic<bool> m_fewThreads{true};
    std::vector<DirEntry> m_walkScratch;
    std::vector<std::thread> m_threads; // the walk's to start and to end
};

namespace {

// How often this thread has given up the processor to wait.
long voluntarySwitches() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

std::atomic<std::size_t> readerThreads{0};

// How long the walk, as it ends, waits for threads still in a read: on a
// working disk a read takes microseconds, on a hung one it may never end.
constexpr std::chrono::milliseconds kGraceForReads{100};

// Takes the lock the readers and the walk meet at. It is held for well
// under a microsecond at a time, but taken for every folder by two threads
// or more; one that found it taken and went to sleep at once would spend
// far longer being woken than the wait would have lasted. Trying again
// only pays while the thread holding it is surely running: not once there
// are more threads than processors (a slow file system's many readers).
void lockSoon(std::unique_lock<std::mutex>& lock, bool tryAgainFirst) {
    constexpr int kTries = 100;
    for (int i = 0; tryAgainFirst && i < kTries; ++i) {
        if (lock.try_lock())
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }
    lock.lock();
}

} // namespace

// Takes m_mutex again, trying it first while no thread waits for a processor.
void ReadAhead::Shared::relock(std::unique_lock<std::mutex>& lock) const {
    lockSoon(lock, m_fewThreads.load(std::memory_order_relaxed));
}

bool ReadAhead::Shared::NextInWalkOrder::operator()(const FolderReadPtr& a, const FolderReadPtr& b) const {
    // a->place + [a->nextToRead] against b->place + [b->nextToRead].
    const std::size_t common = std::min(a->place.size(), b->place.size());
    for (std::size_t i = 0; i < common; ++i)
        if (a->place[i] != b->place[i])
            return a->place[i] < b->place[i];
    if (a->place.size() == b->place.size())
        return a->nextToRead < b->nextToRead;
    // One lies beneath the other: compare the shorter one's next index with
    // the longer one's index at that depth.
    if (a->place.size() < b->place.size())
        return a->nextToRead <= b->place[common];
    return a->place[common] < b->nextToRead;
}

ReadAhead::ReadAhead(FileSystem& fileSystem, std::uint64_t device, bool listedFoldersAreReal, unsigned threads,
                     unsigned maxThreads, std::size_t window, std::stop_token stop)
    : m_shared(std::make_shared<Shared>(fileSystem, device, listedFoldersAreReal, std::max(threads, maxThreads),
                                        window, stop)),
      m_onStop(stop, [shared = m_shared.get()] { shared->stopWorking(); }) {
    m_shared->startThreads(threads);
}

ReadAhead::~ReadAhead() {
    m_shared->end();
}

FolderReadPtr ReadAhead::start(FolderHandle mainFolder, std::vector<std::string> names, const FolderFacts& facts,
                               std::size_t first) {
    return m_shared->start(mainFolder, std::move(names), facts, first);
}

FolderReadPtr ReadAhead::take(const FolderReadPtr& folder, std::size_t index) {
    return m_shared->take(folder, index);
}

bool ReadAhead::readsAhead() const noexcept {
    return !m_shared->m_threads.empty();
}

std::size_t ReadAhead::readersRunning() noexcept {
    return readerThreads.load();
}

// Starts threads until there are `count`, or until the system has no more
// to give (a process or memory limit): the walk reads whatever no thread
// does, so fewer threads, or none, only make the scan slower.
void ReadAhead::Shared::startThreads(std::size_t count) {
    try {
        while (m_threads.size() < count) {
            ++m_running;
            ++readerThreads;
            try {
                m_threads.emplace_back([self = shared_from_this()]() mutable {
                    self->work();
                    self.reset(); // what it held may go with it, handles and all
                    --readerThreads;
                });
            } catch (...) {
                --readerThreads;
                --m_running;
                throw;
            }
        }
    } catch (const std::system_error&) {
        m_maxThreads = static_cast<unsigned>(m_threads.size());
    }
    m_fewThreads = m_threads.size() + 1 <= std::max(std::thread::hardware_concurrency(), 1U);
}

// Idle threads end at once; threads still in a read get a short grace,
// then are let go to end on their own.
void ReadAhead::Shared::end() {
    stopWorking();
    bool allEnded = false;
    {
        std::unique_lock lock(m_mutex);
        allEnded = m_threadEnded.wait_for(lock, kGraceForReads, [this] { return m_running == 0; });
        m_unread.clear();
    }
    for (std::thread& thread : m_threads) {
        if (allEnded)
            thread.join();
        else
            thread.detach();
    }
    m_threads.clear();
}

void ReadAhead::Shared::stopWorking() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workToDo.notify_all();
}

std::size_t ReadAhead::windowFor(std::size_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return wanted;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 4, 1, wanted);
}

FolderReadPtr ReadAhead::Shared::start(FolderHandle mainFolder, std::vector<std::string> names,
                                       const FolderFacts& facts, std::size_t first) {
    m_root = std::make_shared<FolderRead>();
    m_root->summary.subFolders = std::move(names);
    m_root->facts = facts;
    // The walk takes subfolders in order from `first`: no read begins
    // before it, or the walk's own read of the next one would claim
    // another's slot.
    m_root->nextToRead = std::min(first, m_root->summary.subFolders.size());
    const std::lock_guard lock(m_mutex);
    m_rootHandle = mainFolder;
    wakeFor(finish(m_root));
    return m_root;
}

FolderReadPtr ReadAhead::Shared::take(const FolderReadPtr& folder, std::size_t index) {
    std::unique_lock lock(m_mutex, std::defer_lock);
    relock(lock);
    FolderReadPtr& slot = folder->subFolders[index];
    if (!slot) {
        // No thread has begun it; the walk takes them in order, so it is the
        // next of its parent's.
        FolderReadPtr sub = begin(folder, std::make_shared<FolderRead>());
        lock.unlock();
        judgeBegun(*folder, *sub);
        read(folder, *sub, m_walkScratch);
        relock(lock);
        wakeFor(finish(sub));
    } else if (slot->state != FolderRead::State::Read) {
        growIfSlow();
        // On a fast file system a read takes about as long as waking a
        // thread for it: the walk reads whatever comes next rather than
        // sleeping until the folder it needs is read, so every processor
        // keeps reading. On a slow one it waits: the next read could take
        // far longer than the one it waits for.
        while (slot->state != FolderRead::State::Read && helpsRead())
            readNext(lock, m_walkScratch);
        m_walkWaits = true;
        m_folderRead.wait(lock, [&slot] { return slot->state == FolderRead::State::Read; });
        m_walkWaits = false;
    }
    FolderReadPtr sub = std::move(slot); // the walk's now: it goes once walked
    if (sub->held) {
        sub->held = false;
        --m_held;
        // A full window is refilled only once half of it has been taken:
        // the threads then read in bursts rather than waking for every
        // folder the walk takes, which on a warm cache costs more than the
        // reads themselves.
        if (m_windowFull && m_held <= m_window / 2) {
            m_windowFull = false;
            lock.unlock();
            m_workToDo.notify_all();
        }
    }
    return sub;
}

void ReadAhead::Shared::work() {
    std::vector<DirEntry> scratch;
    const auto stopping = [this] { return m_stopping || m_stop.stop_requested(); };
    FolderReadPtr parent;
    FolderReadPtr folder;
    auto next = std::make_shared<FolderRead>(); // made before the lock is taken
    bool judging = false;
    bool blocked = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The folder just read is handed over and the next one claimed under
        // one lock: every thread and the walk meet at it, and taking it once
        // a folder rather than twice halves the waits for it on a warm cache.
        if (folder) {
            if (judging)
                judgeRead(blocked);
            const std::size_t newFolders = finish(folder);
            wakeFor(newFolders == 0 ? 0 : newFolders - 1); // this thread takes one of them
            if (m_walkWaits)
                m_folderRead.notify_one();
            folder.reset();
            parent.reset();
        }
        if (stopping() || m_unread.empty() || m_windowFull) {
            ++m_idle;
            m_workToDo.wait(lock, [&] { return stopping() || (!m_unread.empty() && !m_windowFull); });
            --m_idle;
            if (stopping())
                break;
        }
        parent = *m_unread.begin();
        folder = claimNext(parent, std::move(next));
        lock.unlock();

        judgeBegun(*parent, *folder);
        judging = !m_judged.load(std::memory_order_relaxed);
        const long switchesBefore = judging ? voluntarySwitches() : 0;
        read(parent, *folder, scratch);
        blocked = judging && voluntarySwitches() > switchesBefore;
        next = std::make_shared<FolderRead>();
        relock(lock);
    }
    --m_running;
    m_threadEnded.notify_all();
}

// Claims the next subfolder of `parent` to be read ahead, as `folder`,
// and counts it in the window until the walk takes it.
FolderReadPtr ReadAhead::Shared::claimNext(const FolderReadPtr& parent, FolderReadPtr folder) {
    folder = begin(parent, std::move(folder));
    folder->held = true;
    if (++m_held >= m_window)
        m_windowFull = true;
    return folder;
}

// Whether the walk, waiting for a folder, had better read the next one
// itself. With m_mutex held.
bool ReadAhead::Shared::helpsRead() const {
    return m_judged.load(std::memory_order_relaxed) && !m_slowFileSystem && !m_stopping &&
           !m_stop.stop_requested() && !m_unread.empty() && !m_windowFull;
}

// Reads the next folder in walk order that no read has begun for, on the
// walk's thread: as a reader would, with `lock` on m_mutex let go meanwhile.
void ReadAhead::Shared::readNext(std::unique_lock<std::mutex>& lock, std::vector<DirEntry>& scratch) {
    const FolderReadPtr parent = *m_unread.begin();
    const FolderReadPtr folder = claimNext(parent, std::make_shared<FolderRead>());
    lock.unlock();
    judgeBegun(*parent, *folder);
    read(parent, *folder, scratch);
    relock(lock);
    wakeFor(finish(folder));
}

// Claims the next subfolder of `parent` that no read has begun for, as
// `folder`: only what orders the reads is done here, with m_mutex held.
FolderReadPtr ReadAhead::Shared::begin(const FolderReadPtr& parent, FolderReadPtr folder) {
    auto node = m_unread.extract(parent);
    const std::size_t index = parent->nextToRead++;
    if (parent->nextToRead < parent->subFolders.size())
        m_unread.insert(std::move(node)); // under its next subfolder's place
    folder->name = std::move(parent->summary.subFolders[index]);
    // The parent's place is only needed while it has subfolders to begin:
    // the last one takes it over, so a deep tree holds one place per level
    // being read rather than one per level for every folder above.
    if (parent->nextToRead == parent->subFolders.size())
        folder->place = std::move(parent->place);
    else
        folder->place = parent->place;
    folder->place.push_back(static_cast<std::uint32_t>(index));
    parent->subFolders[index] = folder;
    return folder;
}

// What a claimed folder's name says of it, off the lock: all it
// looks at in the parent was settled when the parent was read, and nobody
// looks at the folder until its read is finished.
void ReadAhead::Shared::judgeBegun(const FolderRead& parent, FolderRead& folder) {
    folder.kept = keptByName(folder.name, parent.facts);
    if (!folder.kept)
        folder.kept = keptByPlace(folder.name, parent.facts);
    // A kept folder counts as data: nothing above it can be listed any more.
    if (!parent.kept)
        folder.undecidedAbove = parent.undecided ? parent.undecided : parent.undecidedAbove;
}

// Opens and lists one folder, off the lock: the slow part, and the one that
// runs on many threads at once.
void ReadAhead::Shared::read(const FolderReadPtr& parent, FolderRead& folder, std::vector<DirEntry>& scratch) {
    // What the folder holds, as far as the folders above are concerned.
    const auto weighs = [&folder] {
        if (folder.undecidedAbove)
            folder.undecidedAbove->holdsData();
    };
    if (folder.kept && folder.kept->seals()) {
        weighs();
        return; // sealed by its name: nothing in it is read
    }
    if (m_stopping) {
        // The walk is over or cancelled: nothing more is opened, not even
        // through the main folder's handle, which may be closed by now.
        folder.error = std::make_error_code(std::errc::operation_canceled);
        return;
    }
    const FolderHandle parentHandle = parent == m_root ? m_rootHandle : parent->folder.get();
    folder.folder = m_fs.openSub(parentHandle, folder.name, folder.error);
    if (!folder.error)
        folder.error = listFolder(m_fs, folder.folder.get(), m_device, folder.summary, scratch,
                                  folder.failedName, m_stop, 1, m_listedFoldersAreReal);
    if (folder.error) {
        // The walk stops here if it ever gets here, or, when the folder is
        // gone, counts it as data; nothing below is needed either way.
        folder.folder.close();
        if (isMissing(folder.error))
            weighs();
        return;
    }
    folder.facts = inheritedFacts(parent->facts, folder.name);
    folder.facts.marks = folder.summary.marks;
    if (auto sealed = keptByContent(folder.name, folder.facts.marks)) {
        folder.kept = std::move(sealed);
        folder.summary.subFolders.clear();
        weighs();
        return;
    }
    NamedInside inside = lookInside(m_fs, folder.folder.get(), "", folder.facts, folder.error);
    if (folder.error) {
        folder.folder.close(); // what it names is unknown: the walk stops here if it gets here
        return;
    }
    if (!inside.empty())
        folder.named = std::make_unique<NamedInside>(std::move(inside));
    if (folder.undecidedAbove && folder.undecidedAbove->stillUndecided()) {
        folder.error =
            measureFiles(m_fs, folder.folder.get(), SizeNeed::UntilNonZero, folder.summary, m_stop);
        folder.sizesMeasured = !folder.error;
    }
    if (folder.kept || folder.summary.bytes != 0)
        weighs();
    else if (folder.summary.fileCount == 0)
        folder.undecided = std::make_shared<Undecided>(folder.undecidedAbove);
}

// The folder is read: its subfolders are known from now on. Returns how many.
std::size_t ReadAhead::Shared::finish(const FolderReadPtr& folder) {
    folder->state = FolderRead::State::Read;
    if (folder->error)
        folder->summary.subFolders.clear();
    folder->subFolders.resize(folder->summary.subFolders.size());
    if (folder->nextToRead < folder->subFolders.size())
        m_unread.insert(folder);
    return folder->subFolders.size() - folder->nextToRead;
}

// A read that blocks, giving up the processor to wait, waited for the disk
// or the network; one that was only preempted did not. Most reads blocking
// means a cold disk or a network drive. A warm cache is judged on many
// reads, since a wrong "slow" costs it a pool it can't use; a slow file
// system as soon as a few reads have clearly blocked, since until then one
// reader alone keeps the disk waiting. With m_mutex held.
void ReadAhead::Shared::judgeRead(bool blocked) {
    constexpr std::uint64_t kReadsToJudge = 64;
    constexpr std::uint64_t kBlockedReadsToJudgeSlow = 8;
    ++m_judgedReads;
    m_blockedReads += blocked;
    const bool clearlySlow = m_blockedReads >= kBlockedReadsToJudgeSlow && 2 * m_blockedReads > m_judgedReads;
    if (m_judgedReads >= kReadsToJudge || clearlySlow) {
        m_slowFileSystem = 2 * m_blockedReads > m_judgedReads;
        m_judged.store(true, std::memory_order_relaxed);
        if (m_slowFileSystem && m_window < m_fullWindow) {
            m_window = m_fullWindow;
            m_windowFull = false;
            m_workToDo.notify_all();
        }
    }
}

// The walk waits for a folder being read. On a slow file system more reads
// in flight keep it busier (measured: 32 threads against 16 take a fifth
// less time on a cold disk, the same on sshfs); on a warm cache more
// threads only cost, so the pool starts small. With m_mutex held.
void ReadAhead::Shared::growIfSlow() {
    if (m_slowFileSystem)
        startThreads(m_maxThreads);
}

// Wakes as many idle threads as there is new work for.
void ReadAhead::Shared::wakeFor(std::size_t newFolders) {
    if (m_windowFull)
        return;
    for (std::size_t i = 0; i < std::min(newFolders, m_idle); ++i)
        m_workToDo.notify_one();
}

} // namespace cleaner
