// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting on real folders: what changed after the scan must survive.
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"
#include "support/backends.h"
#include "support/processes.h"
#include "support/scan_runs.h"

#include <gtest/gtest.h>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::DiskBackend;

namespace {

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Marks every entry of `List1`, deletes, and returns the log, a line each.
std::string deleteAll(cleaner::FileSystem& fs, cleaner::FolderList& List1) {
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::ListBoxRemSel(List1, List2, fs);
    std::string text;
    for (int i = 0; i < List2.ListCount(); ++i)
        text += List2.List(i) + "\n";
    return text;
}

// Scans the main folder, lets `change` alter the disk, then marks every
// listed folder and deletes. Returns the log.
std::vector<std::string> scanChangeAndDelete(DiskBackend& disk, const std::function<void()>& change) {
    cleaner::FolderList List1;
    cleaner::scanInto(disk.fs(), disk.main(), List1);
    change();
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::ListBoxRemSel(List1, List2, disk.fs());
    std::vector<std::string> lines;
    for (int i = 0; i < List2.ListCount(); ++i)
        lines.push_back(List2.List(i));
    return lines;
}

} // namespace

TEST(RemovalOnDisk, WhatWasAddedAfterTheScanKeepsItsFoldersAndNothingIsLost) {
    DiskBackend disk;
    disk.folder("zeroFile/sub");
    disk.folder("dataFile/x/y");
    disk.folder("link/x");
    disk.folder("fifo/x");
    disk.folder("untouched/a/b");

    const auto lines = scanChangeAndDelete(disk, [&] {
        disk.file("zeroFile/new", 0);
        disk.file("dataFile/x/y/new", 100);
        disk.symlink("link/x/new");
        disk.fifo("fifo/x/new");
    });

    const std::string kept = " was not deleted: it is no longer empty.";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         disk.path("dataFile") + kept,
                         disk.path("dataFile/x") + kept,
                         disk.path("dataFile/x/y") + kept,
                         disk.path("fifo") + kept,
                         disk.path("fifo/x") + kept,
                         disk.path("link") + kept,
                         disk.path("link/x") + kept,
                         disk.path("untouched") + " has been deleted.",
                         disk.path("untouched/a") + " has been deleted.",
                         disk.path("untouched/a/b") + " has been deleted.",
                         disk.path("zeroFile") + kept,
                         disk.path("zeroFile/sub") + " has been deleted.",
                     }));
    for (const char* survivor : {"zeroFile/new", "dataFile/x/y/new", "link/x/new", "fifo/x/new"})
        EXPECT_TRUE(present(disk.path(survivor))) << survivor;
    EXPECT_FALSE(present(disk.path("untouched")));
}

TEST(RemovalOnDisk, ZeroByteFilesOddNamesAndTreesPastThePathLimitGo) {
    DiskBackend disk;
    disk.folder("a/\xff\xfe name/\n");
    disk.file("a/\xff\xfe name/\n/zero", 0);
    disk.file("a/.hidden", 0); // makes a hold a file: only its folders are listed
    // 1200 levels of "dddd": a path of 6000 bytes.
    int fd = ::open(disk.main().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 1200; ++i) {
        ASSERT_EQ(::mkdirat(fd, "dddd", 0755), 0);
        const int next = ::openat(fd, "dddd", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);

    cleaner::FolderList List1;
    List1.AddItem(disk.path("a/\xff\xfe name"));
    List1.AddItem(disk.path("dddd"));
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::ListBoxRemSel(List1, List2, disk.fs());

    ASSERT_EQ(List2.ListCount(), 2);
    EXPECT_EQ(List2.List(0), disk.path("a/\xff\xfe name") + " has been deleted.");
    EXPECT_EQ(List2.List(1), disk.path("dddd") + " has been deleted.");
    EXPECT_FALSE(present(disk.path("a/\xff\xfe name")));
    EXPECT_FALSE(present(disk.path("dddd")));
    EXPECT_TRUE(present(disk.path("a/.hidden")));
}

TEST(RemovalOnDisk, AFolderProtectedByPermissionsIsReportedAndKeptForAnOrdinaryUser) {
    DiskBackend disk;
    disk.folder("readOnly/inner");
    disk.folder("free");
    ASSERT_EQ(::chmod(disk.path("readOnly").c_str(), 0555), 0);
    // The main folder must be writable by the ordinary user for "free" to go.
    ASSERT_EQ(::chmod(disk.main().c_str(), 0777), 0);

    const std::string seen = testing_support::runUnprivileged([&] {
        cleaner::PosixFileSystem fs;
        cleaner::FolderList List1;
        for (const char* path : {"readOnly", "readOnly/inner", "free"})
            List1.AddItem(disk.path(path));
        const std::string log = deleteAll(fs, List1);
        return log + "left in list: " + std::to_string(List1.ListCount()) +
               ", marked: " + std::to_string(List1.SelCount());
    });
    const std::string denied = std::strerror(EACCES);
    EXPECT_EQ(seen, disk.path("readOnly") + " could not be deleted: " + denied + ".\n" +
                        disk.path("readOnly/inner") + " could not be deleted: " + denied + ".\n" +
                        disk.path("free") + " has been deleted.\nleft in list: 2, marked: 0");
    EXPECT_TRUE(present(disk.path("readOnly/inner")));
    struct stat st {};
    ASSERT_EQ(::stat(disk.path("readOnly").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u) << "no permission may be changed to make a removal possible";
}

TEST(RemovalOnDisk, AMountPointIsNeverCrossed) {
    DiskBackend disk;
    disk.folder("A/mnt");
    bool mounted = false;
    const std::string seen = testing_support::runWithMount(
        disk.path("A/mnt"),
        [&] {
            // An empty folder and a zero-byte file on the mounted file
            // system, which a crossing removal would take.
            ::mkdir(disk.path("A/mnt/inside").c_str(), 0755);
            ::close(::open(disk.path("A/mnt/zero").c_str(), O_CREAT | O_WRONLY, 0644));
            cleaner::PosixFileSystem fs;
            cleaner::FolderList List1;
            List1.AddItem(disk.path("A"));
            List1.AddItem(disk.path("A/mnt"));
            return deleteAll(fs, List1) +
                   (present(disk.path("A/mnt/inside")) && present(disk.path("A/mnt/zero")) ? "intact"
                                                                                           : "crossed");
        },
        mounted);
    if (!mounted)
        GTEST_SKIP() << "mounting is not allowed here";
    const std::string kept = " was not deleted: it is no longer empty.\n";
    EXPECT_EQ(seen, disk.path("A") + kept + disk.path("A/mnt") + kept + "intact");
}
