// SPDX-License-Identifier: GPL-3.0-or-later
// The empty-folder scan on hand-made trees.
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "support/backends.h"
#include "support/hooked_file_system.h"
#include "support/scan_runs.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>

using cleaner::EmptyFolderScan;
using cleaner::ScanOutcome;
using testing_support::Backend;
using testing_support::describe;
using testing_support::HookedFileSystem;
using testing_support::MemoryFileSystem;
using testing_support::runLiteralScan;
using testing_support::runScan;
using testing_support::ScanResult;
using Step = MemoryFileSystem::Step;

namespace {

class Scan : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { backend = testing_support::makeBackend(GetParam()); }

    // Runs the scan, checks the reference agrees, and returns the list.
    std::vector<std::string> scanned() {
        const ScanResult result = runScan(backend->fs(), backend->main());
        const ScanResult literal = runLiteralScan(backend->fs(), backend->main());
        EXPECT_EQ(result, literal) << "scan:\n" << describe(result) << "reference:\n" << describe(literal);
        EXPECT_EQ(result.stoppedAt, "");
        return result.found;
    }
    std::vector<std::string> paths(std::initializer_list<const char*> relatives) {
        std::vector<std::string> result;
        for (const char* relative : relatives)
            result.push_back(backend->path(relative));
        return result;
    }

    std::unique_ptr<Backend> backend;
};

} // namespace

TEST_P(Scan, AMainFolderWithoutSubfoldersGivesAnEmptyList) {
    backend->file("f", 0);
    EXPECT_TRUE(scanned().empty());
}

TEST_P(Scan, ListsParentsBeforeWhatIsBeneathThem) {
    backend->folder("A/B/C");
    backend->folder("D");
    EXPECT_EQ(scanned(), paths({"A", "A/B", "A/B/C", "D"}));
}

TEST_P(Scan, AFolderWithDataIsNotListedButItsEmptySiblingIs) {
    backend->folder("A/X");
    backend->file("A/X/ten", 10);
    backend->folder("A/Y");
    EXPECT_EQ(scanned(), paths({"A/Y"}));
}

TEST_P(Scan, ZeroByteFilesKeepTheirOwnFolderOffTheListButNotItsParents) {
    backend->folder("A/B/C");
    backend->file("A/B/zero", 0);
    backend->folder("H");
    backend->file("H/.hidden", 0);
    EXPECT_EQ(scanned(), paths({"A", "A/B/C"}));
}

TEST_P(Scan, LinksAndSpecialFilesAnywhereBeneathKeepEveryFolderAboveOff) {
    backend->folder("L/deep/er");
    backend->symlink("L/deep/er/link");
    backend->folder("L/empty");
    backend->folder("P/x");
    backend->fifo("P/x/pipe");
    EXPECT_EQ(scanned(), paths({"L/empty"}));
}

TEST_P(Scan, OnlyTheFolderWithTheNonZeroFileAndItsAncestorsAreDisqualified) {
    backend->folder("A/B/C/D");
    backend->file("A/B/C/D/big", 1);
    backend->folder("A/B/C/E");
    backend->folder("A/B/F/G");
    backend->folder("A/H");
    EXPECT_EQ(scanned(), paths({"A/B/C/E", "A/B/F", "A/B/F/G", "A/H"}));
}

TEST_P(Scan, RunningTwiceGivesTheSameListNotADoubledOne) {
    backend->folder("A/B");
    cleaner::FolderList list;
    cleaner::scanInto(backend->fs(), backend->main(), list);
    list.Selected(0, true);
    cleaner::scanInto(backend->fs(), backend->main(), list);
    ASSERT_EQ(list.ListCount(), 2);
    EXPECT_EQ(list.List(0), backend->path("A"));
    EXPECT_EQ(list.SelCount(), 0);
}

TEST_P(Scan, AMainFolderGivenWithATrailingSlashGivesSingleSlashedPaths) {
    backend->folder("A");
    const ScanResult result = runScan(backend->fs(), backend->main() + "/");
    EXPECT_EQ(result.found, paths({"A"}));
}

TEST_P(Scan, AMissingMainFolderGivesAnEmptyListAndSaysWhy) {
    const ScanResult result = runScan(backend->fs(), backend->path("nowhere"));
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.stoppedAt, backend->path("nowhere"));
    EXPECT_EQ(result.reason, std::errc::no_such_file_or_directory);
    EXPECT_EQ(result, runLiteralScan(backend->fs(), backend->path("nowhere")));
}

INSTANTIATE_TEST_SUITE_P(Backends, Scan, ::testing::Values("memory", "disk"),
                         [](const auto& info) { return info.param; });

// Stops, which only the memory file system can stage whoever runs the tests.

class ScanStops : public ::testing::Test {
protected:
    ScanResult scanAndCompare() {
        const ScanResult result = runScan(fs, "/M");
        const ScanResult literal = runLiteralScan(fs, "/M");
        EXPECT_EQ(result, literal) << "scan:\n" << describe(result) << "reference:\n" << describe(literal);
        EXPECT_EQ(fs.openHandleCount(), 0u);
        return result;
    }
    MemoryFileSystem fs;
};

TEST_F(ScanStops, AtTheSecondOfThreeSubfoldersKeepingWhatTheFirstGave) {
    fs.addFolder("/M/1/a/b");
    fs.addFolder("/M/2");
    fs.addFolder("/M/3");
    fs.failOn("/M/2", Step::List, std::errc::permission_denied);
    fs.failOn("/M/3", Step::List, std::errc::io_error); // must never be reached

    const ScanResult result = scanAndCompare();
    EXPECT_EQ(result.found, (std::vector<std::string>{"/M/1", "/M/1/a", "/M/1/a/b"}));
    EXPECT_EQ(result.stoppedAt, "/M/2");
    EXPECT_EQ(result.reason, std::errc::permission_denied);
}

TEST_F(ScanStops, BeforeListingAnythingInTheSubtreeThatHoldsTheUnreadableFolder) {
    fs.addFolder("/M/A/a-empty"); // comes before b in byte order, and is still not listed
    fs.addFolder("/M/A/b/c");
    fs.failOn("/M/A/b/c", Step::Open, std::errc::permission_denied);

    const ScanResult result = scanAndCompare();
    EXPECT_TRUE(result.found.empty()) << describe(result);
    EXPECT_EQ(result.stoppedAt, "/M/A/b/c");
}

TEST_F(ScanStops, AtASubfolderThatCantBeExaminedEvenIfAnEarlierSiblingIsFine) {
    fs.addFolder("/M/A/x");
    fs.addFolder("/M/A/y");
    fs.addFolder("/M/B");
    fs.failOn("/M/A/y", Step::Examine, std::errc::io_error);

    const ScanResult result = scanAndCompare();
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.stoppedAt, "/M/A/y");
    EXPECT_EQ(result.reason, std::errc::io_error);
}

TEST_F(ScanStops, AtTheMainFolderWhenItCantBeListed) {
    fs.addFolder("/M/A");
    fs.failOn("/M", Step::List, std::errc::permission_denied);
    const ScanResult result = scanAndCompare();
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.stoppedAt, "/M");
}

TEST_F(ScanStops, NeverForFilesThatCantBeExaminedWhichCountAsData) {
    fs.addFolder("/M/A/B");
    fs.addFile("/M/A/B/unknown", 0);
    fs.failOn("/M/A/B/unknown", Step::Examine);
    fs.addFolder("/M/A/C");
    const ScanResult result = scanAndCompare();
    EXPECT_EQ(result.found, std::vector<std::string>{"/M/A/C"});
    EXPECT_EQ(result.stoppedAt, "");
}

TEST(ScanRules, AMountPointKeepsEveryFolderAboveItOffAndIsNeverEntered) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A/B");
    fs.addMountPoint("/M/A/B/usb");
    fs.addFolder("/M/C");
    EXPECT_EQ(runScan(fs, "/M").found, std::vector<std::string>{"/M/C"});
}

TEST(ScanRules, EntriesOfUnknownTypeGiveTheSameList) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A/B");
    fs.addFile("/M/A/B/zero", 0);
    fs.addFolder("/M/A/C");
    fs.addOther("/M/A/C/link");
    fs.addFolder("/M/D/E");
    const ScanResult typed = runScan(fs, "/M");
    fs.reportUnknownTypes(true);
    EXPECT_EQ(runScan(fs, "/M"), typed);
    EXPECT_EQ(typed.found, (std::vector<std::string>{"/M/D", "/M/D/E"}));
}

TEST(ScanCost, FileSizesAreReadOnlyWhileAFolderAboveCouldStillBeListed) {
    MemoryFileSystem fs;
    // "busy" holds a file, so nothing beneath it needs sizes unless a
    // folder without files sits between.
    fs.addFile("/M/busy/own", 7);
    for (int i = 0; i < 50; ++i)
        fs.addFile("/M/busy/sub/f" + std::to_string(i), 3);
    // "quiet" holds no files: sizes beneath it matter until one is non-zero.
    fs.addFile("/M/quiet/sub/first", 0);
    fs.addFile("/M/quiet/sub/second", 9);
    for (int i = 0; i < 50; ++i)
        fs.addFile("/M/quiet/sub/more" + std::to_string(i), 3);
    for (int i = 0; i < 50; ++i)
        fs.addFile("/M/quiet/zlater/g" + std::to_string(i), 3);

    // Read in walk order, only quiet/sub/first and quiet/sub/second need a
    // look; threads reading ahead may also look at zlater's first file
    // before they learn that quiet holds data, but never at more.
    const ScanResult result = runScan(fs, "/M", {}, 0);
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(fs.examinedFileCount(), 2u);
    const std::uint64_t alone = fs.examinedFileCount();
    EXPECT_EQ(runScan(fs, "/M"), result);
    EXPECT_LE(fs.examinedFileCount() - alone, 3u);
    EXPECT_EQ(result, runLiteralScan(fs, "/M"));
}

// Listing is what a scan spends its time on: no folder is listed twice,
// the main folder (which the keep rule also looks at) and those above it
// included, whether threads read ahead or not.
TEST(ScanCost, EveryFolderIsListedOnce) {
    const std::vector<std::string> folders = {"/", "/M", "/M/A", "/M/A/B", "/M/C"};
    for (const unsigned threads : {0U, 1U, 4U}) {
        MemoryFileSystem fs;
        fs.addFolder("/M/A/B");
        fs.addFile("/M/C/data", 5);
        fs.addFile("/M/top", 0);
        runScan(fs, "/M", {}, threads);
        for (const std::string& folder : folders)
            EXPECT_EQ(fs.listingCount(folder), 1u) << folder << " with " << threads << " threads";
    }
}

// Where the file system vouches for its listings, a folder entry is not
// examined unless its type is unknown; a mount anywhere beneath the main
// folder has every one examined, and the mount is still never entered.
TEST(ScanCost, FolderEntriesAreExaminedOnlyWhereTheListingIsNotVouchedFor) {
    struct Row {
        bool vouched;
        bool mountBeneath;
        bool unknownTypes;
        bool examinesFolders;
    };
    for (const Row row : {Row{false, false, false, true}, Row{true, false, false, false},
                          Row{true, true, false, true}, Row{true, false, true, true}}) {
        MemoryFileSystem memory;
        memory.addFolder("/M/a/b/c");
        memory.addFolder("/M/d");
        memory.addFile("/M/d/data", 2);
        if (row.mountBeneath)
            memory.addMountPoint("/M/a/b/usb");
        memory.vouchForListings(row.vouched);
        memory.reportUnknownTypes(row.unknownTypes);
        HookedFileSystem fs(memory, [](auto, const std::string&) { return std::error_code{}; });
        for (const unsigned threads : {0U, 16U}) {
            fs.examined = 0;
            const ScanResult result = runScan(fs, "/M", {}, threads);
            const std::string where = "vouched " + std::to_string(row.vouched) + ", mount " +
                                      std::to_string(row.mountBeneath) + ", unknown types " +
                                      std::to_string(row.unknownTypes) + ", threads " + std::to_string(threads);
            const std::vector<std::string> listed = row.mountBeneath
                                                        ? std::vector<std::string>{"/M/a/b/c"}
                                                        : std::vector<std::string>{"/M/a", "/M/a/b", "/M/a/b/c"};
            EXPECT_EQ(result.found, listed) << where;
            // No file's size matters here; a file of unknown type is
            // examined to learn that it is one.
            const int folderEntries = row.mountBeneath ? 5 : 4;
            EXPECT_EQ(fs.examined, (row.examinesFolders ? folderEntries : 0) + (row.unknownTypes ? 1 : 0))
                << where;
        }
    }
}

TEST(ScanProgress, CountsEveryFolderExaminedIncludingTheMainFolder) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A/B");
    fs.addFolder("/M/C");
    fs.addFile("/M/C/data", 4);
    EmptyFolderScan scan(fs, "/M");
    const ScanOutcome outcome = scan.run({});
    EXPECT_EQ(outcome.status, ScanOutcome::Status::Completed);
    EXPECT_EQ(outcome.foldersExamined, 4u);
    EXPECT_EQ(scan.foldersExamined(), 4u);
    EXPECT_EQ(outcome.foldersListed, 2u);
}

namespace {

// "/M/A" is empty; "/M/B/huge" holds 10,000 empty folders.
void addHugeFolder(MemoryFileSystem& fs) {
    fs.addFolder("/M/A");
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            fs.addFolder("/M/B/huge/s" + std::to_string(i) + "/" + std::to_string(j));
}

} // namespace

TEST(ScanCancel, StopsInTheMiddleOfAHugeFolderAndHandsOutNothingMore) {
    MemoryFileSystem memory;
    addHugeFolder(memory);
    std::stop_source stop;
    HookedFileSystem fs(memory, [&](HookedFileSystem::Operation operation, const std::string&) {
        if (operation == HookedFileSystem::Operation::Examine && fs.examined == 60) // inside huge's listing
            stop.request_stop();
        return std::error_code{};
    });

    std::vector<std::string> handedOut;
    EmptyFolderScan scan(fs, "/M");
    scan.setReadAheadThreads(0); // counts the walk's own steps
    const ScanOutcome outcome = scan.run(
        [&](std::vector<std::string>&& batch) {
            handedOut.insert(handedOut.end(), batch.begin(), batch.end());
        },
        stop.get_token());

    EXPECT_EQ(outcome.status, ScanOutcome::Status::Cancelled);
    EXPECT_EQ(fs.examined, 60) << "the scan went on examining after it was asked to stop";
    EXPECT_EQ(handedOut, std::vector<std::string>{"/M/A"});
    EXPECT_EQ(memory.openHandleCount(), 0u);
}

TEST(ScanCancel, FromAnotherThreadWhileTheScanRuns) {
    MemoryFileSystem memory;
    addHugeFolder(memory);
    std::promise<void> reached;
    std::promise<void> stopRequested;
    std::shared_future<void> resume = stopRequested.get_future().share();
    HookedFileSystem fs(memory, [&](HookedFileSystem::Operation operation, const std::string&) {
        if (operation == HookedFileSystem::Operation::Examine && fs.examined == 500) {
            reached.set_value();
            resume.wait();
        }
        return std::error_code{};
    });

    std::stop_source stop;
    EmptyFolderScan scan(fs, "/M");
    scan.setReadAheadThreads(0); // counts the walk's own steps
    std::future<ScanOutcome> outcome =
        std::async(std::launch::async, [&] { return scan.run({}, stop.get_token()); });
    reached.get_future().wait();
    const std::uint64_t examinedSoFar = scan.foldersExamined(); // read while the scan runs
    stop.request_stop();
    stopRequested.set_value();

    EXPECT_EQ(outcome.get().status, ScanOutcome::Status::Cancelled);
    EXPECT_GT(examinedSoFar, 0u);
    EXPECT_LE(fs.examined, 501);
}

TEST(ScanCancel, ARequestBeforeTheStartListsNothing) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A");
    std::stop_source stop;
    stop.request_stop();
    EmptyFolderScan scan(fs, "/M");
    int batches = 0;
    EXPECT_EQ(scan.run([&](std::vector<std::string>&&) { ++batches; }, stop.get_token()).status,
              ScanOutcome::Status::Cancelled);
    EXPECT_EQ(batches, 0);
}
