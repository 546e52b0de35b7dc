// SPDX-License-Identifier: GPL-3.0-or-later
// Reading ahead on many threads changes nothing the scan shows, and leaves
// no thread and no descriptor behind, however the scan ends.
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "cleaner/posix_file_system.h"
#include "cleaner/read_ahead.h"
#include "support/hooked_file_system.h"
#include "support/memory_file_system.h"
#include "support/processes.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"
#include "support/tree_recipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include <sys/resource.h>
#include <sys/stat.h>

using testing_support::describe;
using testing_support::runScan;
using Step = testing_support::MemoryFileSystem::Step;

namespace {

constexpr unsigned kManyThreads = 8;

testing_support::TreeShape shapeFor(std::uint64_t seed) {
    testing_support::TreeShape shape;
    // Every tenth tree is big enough for the readers to judge the file
    // system fast, so that the walk reads ahead too while it waits.
    shape.folders = seed % 10 == 0 ? 400 : 10 + static_cast<int>(seed % 80);
    shape.files = static_cast<int>((seed * 7) % 60);
    shape.maxDepth = 2 + static_cast<int>(seed % 7);
    shape.emptyBranchShare = 0.35;
    shape.zeroByteShare = 0.4;
    shape.symlinkShare = 0.05;
    shape.fifoShare = 0.03;
    shape.lockedShare = 0.03;
    shape.noSearchShare = 0.02;
    return shape;
}

std::size_t entriesIn(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

std::size_t openDescriptors() {
    return entriesIn("/proc/self/fd");
}
std::size_t threadsRunning() {
    return entriesIn("/proc/self/task");
}

} // namespace

// Any number of threads gives the list and the stop one reader gives, on
// trees where folders can't be read, vanish after their parent was read,
// can't be opened for want of descriptors, or are listed twice.
TEST(ReadAhead, ChangesNothingOnRandomTreesInMemory) {
    int stopped = 0;
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        testing_support::MemoryFileSystem fs;
        fs.addFolder("/M");
        const auto recipe = testing_support::randomTree(seed, shapeFor(seed));
        testing_support::buildInMemory(recipe, fs, "/M");
        // In the big trees failures are rarer, or the scan would stop before
        // the readers had judged anything.
        const std::size_t spacing = seed % 10 == 0 ? 60 : 9;
        for (std::size_t node = seed % 5; node < recipe.nodes.size(); node += spacing) {
            const std::string path = "/M/" + recipe.relativePath(static_cast<int>(node));
            // Only folders that can be reached: one inside a folder without
            // search permission can't be opened, gone or not.
            const int parent = recipe.nodes[node].parent;
            if (recipe.nodes[node].kind != testing_support::NodeKind::Folder ||
                (parent >= 0 && recipe.nodes[static_cast<std::size_t>(parent)].kind ==
                                    testing_support::NodeKind::NoSearchFolder))
                continue;
            // Descriptors running out stop a single reader as any error does;
            // reading ahead must reach the same stop, wherever it comes.
            const std::errc reason =
                node % 7 == 0 ? std::errc::too_many_files_open : std::errc::no_such_file_or_directory;
            if (node % 2 == 0)
                fs.listTwice(path);
            else
                fs.failOn(path, node % 3 == 0 ? Step::Open : Step::List, reason);
        }
        fs.reportUnknownTypes(seed % 4 == 0);
        const auto alone = runScan(fs, "/M", {}, 0);
        // Listings taken at their word, as on a local disk, change nothing either.
        for (const bool vouched : {false, true}) {
            fs.vouchForListings(vouched);
            for (const unsigned threads : {0U, 1U, 2U, 16U}) {
                if (threads == 0 && !vouched)
                    continue;
                const auto ahead = runScan(fs, "/M", {}, threads);
                ASSERT_EQ(ahead, alone) << "seed " << seed << ", " << threads << " threads"
                                        << (vouched ? ", listings vouched for" : "") << "\none thread:\n"
                                        << describe(alone) << "reading ahead:\n"
                                        << describe(ahead);
            }
        }
        fs.vouchForListings(false);
        ASSERT_EQ(fs.openHandleCount(), 0u) << "seed " << seed;
        stopped += !alone.stoppedAt.empty();
    }
    EXPECT_GT(stopped, 30);
    EXPECT_LT(stopped, 270);
}

// A folder gone since its parent was read is taken for data, as an entry
// that can't be examined is, and the scan goes on; a name listed twice is
// listed once.
TEST(ReadAhead, AVanishedFolderWeighsAndANameListedTwiceIsOneEntry) {
    testing_support::MemoryFileSystem fs;
    fs.addFolder("/M/a");
    fs.addFolder("/M/b/opened");
    fs.addFolder("/M/c/listed");
    fs.addFolder("/M/d/examined");
    fs.addFolder("/M/e/twice/inner");
    fs.addFolder("/M/f");
    fs.failOn("/M/b/opened", Step::Open, std::errc::no_such_file_or_directory);
    fs.failOn("/M/c/listed", Step::List, std::errc::no_such_file_or_directory);
    fs.failOn("/M/d/examined", Step::Examine, std::errc::no_such_file_or_directory);
    fs.listTwice("/M/e/twice");
    fs.listTwice("/M/f");
    for (const unsigned threads : {0U, 16U}) {
        const auto result = runScan(fs, "/M", {}, threads);
        EXPECT_EQ(result.stoppedAt, "") << threads;
        EXPECT_EQ(result.found,
                  (std::vector<std::string>{"/M/a", "/M/e", "/M/e/twice", "/M/e/twice/inner", "/M/f"}))
            << threads;
    }
    // Any other failure still stops the scan.
    fs.failOn("/M/b/opened", Step::Open, std::errc::permission_denied);
    EXPECT_EQ(runScan(fs, "/M", {}, 0).stoppedAt, "/M/b/opened");
}

// Locked and no-search folders stop an ordinary user's scan; links and
// fifos weigh; the stop must be the one folder the walk meets first.
TEST(ReadAhead, ChangesNothingOnDiskForAnOrdinaryUserAndLeavesNothingOpen) {
    int stopped = 0;
    for (std::uint64_t seed = 2000; seed < 2060; ++seed) {
        testing_support::TempFolder temp;
        const std::string main = temp / "M";
        ASSERT_EQ(::mkdir(main.c_str(), 0755), 0);
        testing_support::buildOnDisk(testing_support::randomTree(seed, shapeFor(seed)), main);
        const std::string seen = testing_support::runUnprivileged([&] {
            cleaner::PosixFileSystem fs;
            const auto alone = runScan(fs, main, {}, 0);
            runScan(fs, main, {}, kManyThreads); // a sanitizer starts threads of its own the first time
            const std::size_t descriptors = openDescriptors();
            const std::size_t threads = threadsRunning();
            const auto ahead = runScan(fs, main, {}, kManyThreads);
            if (!(alone == ahead))
                return "one thread:\n" + describe(alone) + "reading ahead:\n" + describe(ahead);
            if (openDescriptors() != descriptors || threadsRunning() != threads)
                return std::string("a descriptor or a thread outlived the scan");
            return std::string(alone.stoppedAt.empty() ? "completed" : "stopped");
        });
        ASSERT_TRUE(seen == "completed" || seen == "stopped") << "seed " << seed << "\n" << seen;
        stopped += seen == "stopped";
    }
    EXPECT_GT(stopped, 5);
}

// Cancelled from another thread while many reads are under way (each open
// takes a while): the scan ends promptly as cancelled, its threads end and
// every handle is closed.
TEST(ReadAhead, ACancelInTheMiddleOfReadingAheadLeavesNoThreadOrHandle) {
    testing_support::MemoryFileSystem memory;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j)
            memory.addFolder("/M/s" + std::to_string(i) + "/" + std::to_string(j));
    std::promise<void> reached;
    std::atomic<int> opened = 0;
    testing_support::HookedFileSystem fs(
        memory, [&](testing_support::HookedFileSystem::Operation operation, const std::string&) {
            if (operation == testing_support::HookedFileSystem::Operation::Open) {
                if (++opened == 200)
                    reached.set_value();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return std::error_code{};
        });
    runScan(memory, "/M", {}, kManyThreads); // a sanitizer starts threads of its own the first time
    const std::size_t threads = threadsRunning();
    std::stop_source stop;
    cleaner::EmptyFolderScan scan(fs, "/M");
    scan.setReadAheadThreads(kManyThreads);
    cleaner::ScanOutcome::Status status{};
    {
        std::future<cleaner::ScanOutcome> outcome =
            std::async(std::launch::async, [&] { return scan.run({}, stop.get_token()); });
        reached.get_future().wait();
        stop.request_stop();
        status = outcome.get().status;
    } // the scan's own thread is joined here
    EXPECT_EQ(status, cleaner::ScanOutcome::Status::Cancelled);
    EXPECT_LT(opened.load(), 1600) << "the reads went on after the cancel";
    EXPECT_EQ(memory.openHandleCount(), 0u);
    EXPECT_EQ(threadsRunning(), threads);
}

// A scan whose outcome is settled returns though a read ahead of the walk
// hangs, as on a network drive that stopped answering: that read is let
// go, and once it returns its thread ends and closes what it held.
TEST(ReadAhead, ASettledScanReturnsWhileAReadAheadHangs) {
    using Operation = testing_support::HookedFileSystem::Operation;
    testing_support::MemoryFileSystem memory;
    memory.addFolder("/M/a/locked");
    memory.failOn("/M/a/locked", Step::Open); // the stop, first in walk order
    for (int i = 0; i < 20; ++i)
        memory.addFolder("/M/z/s" + std::to_string(i) + "/e");
    std::promise<void> hanging;
    const std::shared_future<void> hangs = hanging.get_future().share();
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> hung = false;
    testing_support::HookedFileSystem fs(memory, [&](Operation operation, const std::string& name) {
        // Among the first read ahead, within the smallest window.
        if (operation == Operation::Open && name == "s1" && !hung.exchange(true)) {
            hanging.set_value();
            released.wait();
        }
        if (operation == Operation::Open && name == "locked")
            hangs.wait_for(std::chrono::seconds(10)); // the stop comes once the read hangs
        return std::error_code{};
    });

    auto scan = std::async(std::launch::async, [&] { return runScan(fs, "/M", {}, kManyThreads); });
    const bool returned = scan.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    const bool stillHung = released.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    release.set_value();
    ASSERT_TRUE(returned) << "the scan waited for a read it did not need";
    EXPECT_TRUE(hung.load()) << "no read hung: the test did not test";
    EXPECT_TRUE(stillHung);
    EXPECT_EQ(scan.get().stoppedAt, "/M/a/locked");

    for (int wait = 0; wait < 500 && cleaner::ReadAhead::readersRunning() != 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(cleaner::ReadAhead::readersRunning(), 0u) << "a reader let go never ended";
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

// However wide or deep the tree, the folders held open stay within the
// read-ahead window, the threads' own and one per level of the walk.
TEST(ReadAhead, HoldsNoMoreFoldersOpenThanItsWindowAllows) {
    testing_support::MemoryFileSystem memory;
    for (int i = 0; i < 6000; ++i)
        memory.addFolder("/M/wide" + std::to_string(i));
    for (int i = 0; i < 3000; ++i)
        memory.addFolder("/M/zz/deep/" + std::to_string(i) + "/a/b");
    std::mutex guard; // the hook runs on many threads
    std::size_t mostOpen = 0;
    testing_support::HookedFileSystem fs(
        memory, [&](testing_support::HookedFileSystem::Operation operation, const std::string&) {
            if (operation == testing_support::HookedFileSystem::Operation::Open) {
                const std::size_t open = memory.openHandleCount();
                const std::lock_guard lock(guard);
                mostOpen = std::max(mostOpen, open);
            }
            return std::error_code{};
        });
    const auto result = runScan(fs, "/M", {}, kManyThreads);
    EXPECT_EQ(result.found.size(), 6000u + 2u + 3000u * 3u);
    const std::lock_guard lock(guard);
    EXPECT_LE(mostOpen, cleaner::EmptyFolderScan::kDefaultReadAheadWindow + kManyThreads + 8);
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

// Where reads take long (a cold disk, a network drive) the pool grows, so
// that more reads are in flight; where they are quick it stays as it began.
// Either way the list is the same.
TEST(ReadAhead, MoreThreadsReadOnlyWhereReadsAreSlow) {
    testing_support::MemoryFileSystem memory;
    memory.addFolder("/M");
    testing_support::TreeShape shape;
    shape.folders = 600;
    shape.files = 300;
    shape.maxDepth = 6;
    testing_support::buildInMemory(testing_support::randomTree(7, shape), memory, "/M");

    struct Readers {
        std::size_t threads = 0;
        std::size_t listed = 0;
        std::size_t opensBeforeMore = 0; // opens begun before a thread beyond the pool's first ones read
    };
    const auto readersWhenEachOpenTakes = [&memory](std::chrono::microseconds delay) {
        std::mutex mutex;
        std::set<std::thread::id> readers;
        std::size_t opens = 0;
        std::size_t opensBeforeMore = 0;
        testing_support::HookedFileSystem fs(memory, [&](auto operation, const std::string&) {
            if (operation == testing_support::HookedFileSystem::Operation::Open) {
                {
                    const std::lock_guard lock(mutex);
                    ++opens;
                }
                std::this_thread::sleep_for(delay);
                const std::lock_guard lock(mutex);
                readers.insert(std::this_thread::get_id());
                if (opensBeforeMore == 0 && readers.size() > cleaner::EmptyFolderScan::defaultReadAheadThreads() + 1)
                    opensBeforeMore = opens;
            }
            return std::error_code{};
        });
        cleaner::FolderList list;
        cleaner::EmptyFolderScan scan(fs, "/M");
        const cleaner::ScanOutcome outcome =
            scan.run([&list](std::vector<std::string>&& batch) { list.AddItems(std::move(batch)); });
        EXPECT_EQ(outcome.status, cleaner::ScanOutcome::Status::Completed);
        return Readers{readers.size(), static_cast<std::size_t>(list.ListCount()), opensBeforeMore};
    };
    // This file system takes a lock on every call. On a machine busy with
    // other tests a thread can be put aside while holding it, and the
    // threads waiting for it then look like reads waiting for a disk; so a
    // quick run gets three chances to keep the pool as it began.
    Readers quick;
    for (int attempt = 0; attempt < 3; ++attempt) {
        quick = readersWhenEachOpenTakes(std::chrono::microseconds(0));
        if (quick.threads <= cleaner::EmptyFolderScan::defaultReadAheadThreads() + 1)
            break;
    }
    const Readers slow = readersWhenEachOpenTakes(std::chrono::microseconds(500));
    EXPECT_LE(quick.threads, cleaner::EmptyFolderScan::defaultReadAheadThreads() + 1) << "the walk reads too";
    EXPECT_GT(slow.threads, cleaner::EmptyFolderScan::defaultReadAheadThreads() + 1);
    EXPECT_LE(slow.threads, cleaner::EmptyFolderScan::kSlowFileSystemReadAheadThreads + 1);
    // A slow disk is told within a few reads: it should not wait on one
    // reader for the many a warm cache is judged on.
    EXPECT_GT(slow.opensBeforeMore, 0u);
    EXPECT_LT(slow.opensBeforeMore, 64u) << "the pool grew only after many slow reads";
    EXPECT_EQ(slow.listed, quick.listed);
    EXPECT_GT(quick.listed, 0);
}

// On a fast file system the walk does not sit idle while the folder it
// needs is being read: it reads the next ones itself, and the list is the
// one a single reader gives.
TEST(ReadAhead, OnAFastFileSystemTheWalkReadsAheadWhileItWaits) {
    testing_support::MemoryFileSystem memory;
    // Enough folders that the reader gets its hundred opens in even when
    // the machine is busy and the walk, reading too, takes most of them.
    constexpr int kFolders = 3000;
    for (int i = 0; i < kFolders; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/M/a%04d", i);
        memory.addFolder(name);
        if (i % 3 == 1)
            memory.addFile(std::string(name) + "/f", 1);
    }
    const std::thread::id walk = std::this_thread::get_id();
    std::atomic<int> readerOpens = 0;
    std::atomic<bool> slowReadUnderWay = false;
    std::atomic<bool> slowReadDone = false;
    std::atomic<int> walkReadsMeanwhile = 0;
    testing_support::HookedFileSystem fs(memory, [&](auto operation, const std::string&) {
        if (operation != testing_support::HookedFileSystem::Operation::Open)
            return std::error_code{};
        // Every open takes a little processor time, as on a warm disk,
        // and so keeps the reader in the race; it never waits, so the file
        // system is judged fast.
        const auto busyUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
        while (std::chrono::steady_clock::now() < busyUntil) {
        }
        if (std::this_thread::get_id() == walk) {
            walkReadsMeanwhile += slowReadUnderWay ? 1 : 0;
        } else if (++readerOpens == 100) { // long after the reads were judged
            slowReadUnderWay = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            slowReadUnderWay = false;
            slowReadDone = true;
        }
        return std::error_code{};
    });
    const auto alone = runScan(memory, "/M", {}, 0);
    EXPECT_EQ(alone.found.size(), static_cast<std::size_t>(kFolders - kFolders / 3));
    EXPECT_EQ(runScan(fs, "/M", {}, 1), alone);
    EXPECT_TRUE(slowReadDone.load()) << "no read was slow: the test did not test";
    EXPECT_GT(walkReadsMeanwhile.load(), 0) << "the walk only waited";
}

// Nothing else can be read until the main folder is, so its subfolders are
// examined on several threads at once when there are many. Whichever entry
// fails, and whatever the types the folder reports, the list and the stop
// are those of one thread.
TEST(ReadAhead, ManySubfoldersOfTheMainFolderExaminedTogetherChangeNothing) {
    struct Row {
        const char* failing; // a subfolder of the main folder that can't be examined
        bool unknownTypes;
        const char* stopsAt; // a folder stops the scan; an entry of unknown type weighs a byte
    };
    for (const Row row :
         {Row{"", false, ""}, Row{"", true, ""}, Row{"s123", false, "/M/s123"}, Row{"s123", true, ""}}) {
        testing_support::MemoryFileSystem memory;
        memory.addFolder("/M");
        for (int i = 0; i < 300; ++i) {
            const std::string sub = "/M/s" + std::to_string(i);
            memory.addFolder(sub);
            if (i % 3 == 0)
                memory.addFile(sub + "/data", 5);
            if (i % 5 == 0)
                memory.addFolder(sub + "/inner");
        }
        memory.addMountPoint("/M/s200x");
        memory.addFile("/M/top-file", 0);
        if (*row.failing)
            memory.failOn(std::string("/M/") + row.failing, testing_support::MemoryFileSystem::Step::Examine);
        memory.reportUnknownTypes(row.unknownTypes);

        std::mutex mutex;
        std::set<std::thread::id> examiners;
        testing_support::HookedFileSystem fs(memory, [&](auto operation, const std::string& name) {
            if (operation == testing_support::HookedFileSystem::Operation::Examine && name.starts_with('s')) {
                std::this_thread::sleep_for(std::chrono::microseconds(50)); // long enough for helpers to join
                const std::lock_guard lock(mutex);
                examiners.insert(std::this_thread::get_id());
            }
            return std::error_code{};
        });
        const auto alone = runScan(fs, "/M", {}, 0);
        examiners.clear();
        const auto together = runScan(fs, "/M", {}, kManyThreads);
        const std::string where =
            std::string("failing '") + row.failing + "', unknown types " + (row.unknownTypes ? "yes" : "no");
        EXPECT_EQ(together, alone) << where << "\none thread:\n"
                                   << describe(alone) << "together:\n"
                                   << describe(together);
        EXPECT_EQ(alone.stoppedAt, row.stopsAt) << where;
        EXPECT_EQ(alone.found.empty(), *row.stopsAt != '\0') << where;
        EXPECT_GT(examiners.size(), 1u) << where << ": examined on one thread only";
        EXPECT_EQ(memory.openHandleCount(), 0u) << where;
    }
}

// Where the system gives no more threads (a process limit, little memory),
// the scan goes on with those it could start, or with the walk alone, and
// lists what a single reader lists.
TEST(ReadAhead, ThreadsThatCantBeStartedAreDoneWithout) {
    testing_support::MemoryFileSystem fs;
    fs.addFolder("/M");
    for (int i = 0; i < 300; ++i) // enough for the main folder's subfolders to be examined together
        fs.addFolder("/M/s" + std::to_string(i) + (i % 7 == 0 ? "/e" : ""));
    testing_support::TreeShape shape;
    shape.folders = 400;
    shape.files = 200;
    testing_support::buildInMemory(testing_support::randomTree(11, shape), fs, "/M/tree");
    const auto alone = runScan(fs, "/M", {}, 0);
    ASSERT_FALSE(alone.found.empty());

    const std::string seen = testing_support::runUnprivileged([&] {
        // This process is the only one its user may have: no thread starts.
        const rlimit noMoreTasks{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &noMoreTasks) != 0)
            return std::string("setrlimit failed");
        try {
            std::thread([] {}).join();
            return std::string("a thread still started: the limit does not hold here");
        } catch (const std::system_error&) {
        }
        for (const unsigned threads : {1U, 16U, 100U}) {
            const auto ahead = runScan(fs, "/M", {}, threads);
            if (!(ahead == alone))
                return std::to_string(threads) + " threads asked for:\n" + describe(ahead);
        }
        return std::string("same");
    });
    EXPECT_EQ(seen, "same");
}

// Under a low descriptor limit the folders held read ahead must not starve
// the walk: the outcome is the one a single reader gets, whether that
// reader gets through or runs out itself.
TEST(ReadAhead, UnderADescriptorLimitTheOutcomeIsASingleReaders) {
    testing_support::TempFolder temp;
    const std::string main = temp / "M";
    for (const char* top : {"a", "b", "c", "d"})
        for (int branch = 0; branch < 6; ++branch) {
            std::string path = main + "/" + top + "/" + std::to_string(branch);
            for (int level = 0; level < 11; ++level)
                path += "/l";
            std::filesystem::create_directories(path);
        }
    std::filesystem::create_directories(main + "/e/x");
    for (const int spare : {18, 9}) { // enough for a single reader, then not
        const std::string seen = testing_support::runUnprivileged([&] {
            cleaner::PosixFileSystem fs;
            const std::size_t inUse = openDescriptors();
            const rlimit few{inUse + spare, inUse + spare};
            if (::setrlimit(RLIMIT_NOFILE, &few) != 0)
                return std::string("setrlimit failed");
            const auto alone = runScan(fs, main, {}, 0);
            for (int round = 0; round < 3; ++round) {
                const auto ahead = runScan(fs, main, {}, 16);
                if (!(ahead == alone))
                    return "one reader:\n" + describe(alone) + "reading ahead:\n" + describe(ahead);
            }
            return std::string(alone.stoppedAt.empty() ? "completed" : "stopped: " + alone.reason.message());
        });
        EXPECT_EQ(seen, spare == 18 ? "completed" : "stopped: Too many open files") << spare;
    }
}
