// SPDX-License-Identifier: GPL-3.0-or-later
// Deleting on real folders: what changed after the scan must survive.
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"
#include "support/backends.h"
#include "support/hooked_file_system.h"
#include "support/processes.h"
#include "support/scan_runs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::DiskBackend;

namespace {

bool present(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Marks every entry of `List1`, deletes beneath `main`, and returns the
// log, a line each.
std::vector<std::string> deleteAllLines(cleaner::FileSystem& fs, const std::string& main,
                                        cleaner::FolderList& List1) {
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;
    cleaner::ListBoxRemSel(List1, List2, fs, main, deleted);
    std::vector<std::string> lines;
    for (int i = 0; i < List2.ListCount(); ++i)
        lines.push_back(List2.List(i));
    return lines;
}

std::string deleteAll(cleaner::FileSystem& fs, const std::string& main, cleaner::FolderList& List1) {
    std::string text;
    for (const std::string& line : deleteAllLines(fs, main, List1))
        text += line + "\n";
    return text;
}

// Scans the main folder, lets `change` alter the disk, then marks every
// listed folder and deletes. Returns the log.
std::vector<std::string> scanChangeAndDelete(DiskBackend& disk, const std::function<void()>& change) {
    cleaner::FolderList List1;
    cleaner::scanInto(disk.fs(), disk.main(), List1);
    change();
    return deleteAllLines(disk.fs(), disk.main(), List1);
}

// Makes `levels` nested folders named `name` in `folder`; returns the
// deepest one's path, which may be far longer than PATH_MAX.
std::string makeChain(const std::string& folder, const char* name, int levels) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = folder;
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, name, 0755);
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += std::string("/") + name;
    }
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "chain in " + folder);
    ::close(fd);
    return path;
}

// The folder beside the main folder, outside the tree.
std::string outside(const DiskBackend& disk, const std::string& name) {
    return disk.main().substr(0, disk.main().rfind('/') + 1) + name;
}

void exchange(const std::string& a, const std::string& b) {
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) != 0)
        throw std::system_error(errno, std::generic_category(), "exchange " + a);
}

off_t sizeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_size : -1;
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
    // 1200 levels of "dddd": a path of 6000 bytes. Its deepest folder goes
    // with the top one; a deep path nobody here deleted is no longer there.
    const std::string deep = makeChain(disk.main(), "dddd", 1200);
    makeChain(disk.main(), "eeee", 3);
    std::string vanished = disk.main();
    for (int i = 0; i < 1000; ++i)
        vanished += "/eeee";

    cleaner::FolderList List1;
    List1.AddItem(disk.path("a/\xff\xfe name"));
    List1.AddItem(disk.path("dddd"));
    List1.AddItem(deep);
    List1.AddItem(vanished);
    EXPECT_EQ(deleteAllLines(disk.fs(), disk.main(), List1),
              (std::vector<std::string>{disk.path("a/\xff\xfe name") + " has been deleted.",
                                        disk.path("dddd") + " has been deleted.", deep + " has been deleted.",
                                        vanished + " was not deleted: it is no longer there."}));
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
        const std::string log = deleteAll(fs, disk.main(), List1);
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
            return deleteAll(fs, disk.main(), List1) +
                   (present(disk.path("A/mnt/inside")) && present(disk.path("A/mnt/zero")) ? "intact"
                                                                                           : "crossed");
        },
        mounted);
    if (!mounted)
        GTEST_SKIP() << "mounting is not allowed here";
    const std::string kept = " was not deleted: it is no longer empty.\n";
    EXPECT_EQ(seen, disk.path("A") + kept + disk.path("A/mnt") + kept + "intact");
}

// Races on the real disk, made to happen at an exact step.
TEST(RemovalOnDisk, FilesAndFoldersExchangedMidwayKeepTheirData) {
    using Op = testing_support::HookedFileSystem::Operation;
    DiskBackend disk;
    disk.folder("t/s");
    disk.file("t/s/f", 0);
    disk.folder("x/s/deep");
    const std::string big = outside(disk, "big");
    const std::string out = outside(disk, "out");
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    for (const auto& [path, size] : {std::pair{big, 9}, {out + "/a.lock", 0}, {out + "/z", 9}}) {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
    int opensOfS = 0;
    bool swappedFile = false;
    testing_support::HookedFileSystem racing(disk.fs(), [&](Op op, const std::string& name) {
        if (op == Op::Move && name == "f" && !swappedFile) {
            swappedFile = true;
            exchange(disk.path("t/s/f"), big);
        }
        if (op == Op::Open && name == "s" && ++opensOfS == 4) // x/s, as the removal opens it
            exchange(disk.path("x/s"), out);
        return std::error_code{};
    });
    cleaner::FolderList List1;
    List1.AddItem(disk.path("t"));
    List1.AddItem(disk.path("x"));
    EXPECT_EQ(deleteAllLines(racing, disk.main(), List1),
              (std::vector<std::string>{
                  disk.path("t") + " could not be deleted: " + std::strerror(ENOTEMPTY) + ".",
                  disk.path("x") + " could not be deleted: it changed while it was being deleted."}));
    EXPECT_EQ(sizeOf(disk.path("t/s/f")), 9) << "the swapped-in data went back under its name";
    EXPECT_EQ(sizeOf(big), 0);
    EXPECT_EQ(sizeOf(disk.path("x/s/a.lock")), 0) << "the exchanged-in folder keeps its zero-byte file";
    EXPECT_EQ(sizeOf(disk.path("x/s/z")), 9);
}

TEST(RemovalOnDisk, ALinkOrAMountPutOnTheWayAfterTheScanLeadsNowhere) {
    DiskBackend disk;
    disk.folder("a/b");
    disk.folder("m/b");
    const std::string victim = outside(disk, "victim");
    ASSERT_EQ(::mkdir(victim.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((victim + "/b").c_str(), 0755), 0);
    ::close(::open((victim + "/b/keep.lock").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    cleaner::FolderList List1;
    cleaner::scanInto(disk.fs(), disk.main(), List1);
    ASSERT_EQ(List1.ListCount(), 4);

    ASSERT_EQ(::rename(disk.path("a").c_str(), outside(disk, "moved-a").c_str()), 0);
    ASSERT_EQ(::symlink("../victim", disk.path("a").c_str()), 0);
    cleaner::FolderList linked;
    linked.AddItem(disk.path("a/b"));
    EXPECT_EQ(deleteAll(disk.fs(), disk.main(), linked),
              disk.path("a/b") + " was not deleted: it is no longer there.\n");
    EXPECT_TRUE(present(victim + "/b/keep.lock"));

    bool mounted = false;
    const std::string seen = testing_support::runWithMount(
        disk.path("m"),
        [&] {
            ::mkdir(disk.path("m/b").c_str(), 0755);
            ::close(::open(disk.path("m/b/zero").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            cleaner::PosixFileSystem fs;
            cleaner::FolderList List;
            List.AddItem(disk.path("m/b"));
            return deleteAll(fs, disk.main(), List) + (present(disk.path("m/b/zero")) ? "intact" : "crossed");
        },
        mounted);
    if (mounted) {
        EXPECT_EQ(seen, disk.path("m/b") + " was not deleted: it is no longer there.\nintact");
    }
}

TEST(RemovalOnDisk, ADeepChainGoesOnAThreadWithASmallStack) {
    DiskBackend disk;
    const std::string deepest = makeChain(disk.main(), "d", 8000);
    ::close(::open((deepest + "/zero").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    std::string log;
    const auto body = [&] {
        cleaner::FolderList List1;
        List1.AddItem(disk.path("d"));
        log = deleteAll(disk.fs(), disk.main(), List1);
    };
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread;
    auto run = [](void* work) -> void* {
        (*static_cast<decltype(body)*>(work))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<void*>(static_cast<const void*>(&body))),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(log, disk.path("d") + " has been deleted.\n");
    EXPECT_FALSE(present(disk.path("d")));
}
