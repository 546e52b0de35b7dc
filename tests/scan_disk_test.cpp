// SPDX-License-Identifier: GPL-3.0-or-later
// The scan on real folders: permissions, mount points, odd names, depth.
#include "cleaner/posix_file_system.h"
#include "support/backends.h"
#include "support/processes.h"
#include "support/scan_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::describe;
using testing_support::DiskBackend;
using testing_support::runScan;

TEST(ScanOnDisk, AnUnreadableFolderStopsTheScanForAnOrdinaryUser) {
    DiskBackend disk;
    disk.folder("1/a");
    disk.folder("2/locked");
    disk.folder("2/locked/inner");
    disk.folder("3");
    ASSERT_EQ(::chmod(disk.path("2/locked").c_str(), 0), 0);

    const std::string seen = testing_support::runUnprivileged([&] {
        cleaner::PosixFileSystem fs;
        return describe(runScan(fs, disk.main()));
    });
    EXPECT_EQ(seen, "  " + disk.path("1") + "\n  " + disk.path("1/a") + "\n  stopped at " +
                        disk.path("2/locked") + ": " + std::strerror(EACCES) + "\n");
}

TEST(ScanOnDisk, AFolderThatCanBeListedButNotSearchedStopsAtItsFirstSubfolder) {
    DiskBackend disk;
    disk.folder("A/noSearch/x");
    disk.folder("A/noSearch/y");
    ASSERT_EQ(::chmod(disk.path("A/noSearch").c_str(), 0444), 0);

    const std::string seen = testing_support::runUnprivileged([&] {
        cleaner::PosixFileSystem fs;
        return describe(runScan(fs, disk.main()));
    });
    EXPECT_EQ(seen, "  stopped at " + disk.path("A/noSearch/x") + ": " + std::strerror(EACCES) + "\n");
}

TEST(ScanOnDisk, AMountPointIsNeverCrossed) {
    DiskBackend disk;
    // The main folder's name holds a space, which the mount table writes
    // as \040: the mount beneath is found all the same.
    disk.folder("the main/A/mnt");
    disk.folder("the main/B");
    bool mounted = false;
    const std::string seen = testing_support::runWithMount(
        disk.path("the main/A/mnt"),
        [&] {
            // An empty folder on the mounted file system: were the scan to
            // cross, it would list A, A/mnt and A/mnt/inside.
            ::mkdir(disk.path("the main/A/mnt/inside").c_str(), 0755);
            cleaner::PosixFileSystem fs;
            return describe(runScan(fs, disk.path("the main")));
        },
        mounted);
    if (!mounted)
        GTEST_SKIP() << "mounting is not allowed here";
    EXPECT_EQ(seen, "  " + disk.path("the main/B") + "\n");
}

TEST(ScanOnDisk, NamesWithOddBytesComeBackByteForByte) {
    DiskBackend disk;
    const std::string odd[] = {"new\nline",
                               "\xff\xfe",
                               "tab\there",
                               " lead",
                               "-dash",
                               "\xe2\x80\xae"
                               "rtl"};
    for (const std::string& name : odd)
        disk.folder(name);
    const testing_support::ScanResult result = runScan(disk.fs(), disk.main());
    std::vector<std::string> expected;
    for (const std::string& name : odd)
        expected.push_back(disk.path(name));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(result.found, expected);
    EXPECT_EQ(result.stoppedAt, "");
}

TEST(ScanOnDisk, ATreeDeeperThanThePathLimitIsScannedWithoutStopping) {
    DiskBackend disk;
    // 1500 levels of "dddd" make a path of 7500 bytes, past PATH_MAX.
    constexpr int depth = 1500;
    int fd = ::open(disk.main().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "dddd", 0755), 0);
        const int next = ::openat(fd, "dddd", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);

    const testing_support::ScanResult result = runScan(disk.fs(), disk.main());
    EXPECT_EQ(result.stoppedAt, "") << result.reason.message();
    ASSERT_EQ(result.found.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(result.found.back().size(), disk.main().size() + 5 * depth);
}

TEST(ScanOnDisk, AMainFolderThatIsAFileGivesAnEmptyListAndSaysWhy) {
    DiskBackend disk;
    disk.file("plain", 3);
    const testing_support::ScanResult result = runScan(disk.fs(), disk.path("plain"));
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.stoppedAt, disk.path("plain"));
    EXPECT_EQ(result.reason, std::errc::not_a_directory);
}
