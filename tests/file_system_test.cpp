// SPDX-License-Identifier: GPL-3.0-or-later
// The folder operations, on the memory and the real file system alike.
#include "cleaner/fs_error.h"
#include "cleaner/mount_table.h"
#include "support/backends.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using cleaner::Folder;
using cleaner::FsError;
using testing_support::Backend;
using testing_support::MemoryFileSystem;

namespace {

class FolderOperations : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { backend = testing_support::makeBackend(GetParam()); }
    Folder folder(const std::string& relative) { return backend->fs().GetFolder(backend->path(relative)); }

    std::unique_ptr<Backend> backend;
};

std::vector<std::string> pathsOf(const std::vector<Folder>& folders) {
    std::vector<std::string> paths;
    for (const Folder& f : folders)
        paths.push_back(f.Path());
    return paths;
}

} // namespace

TEST_P(FolderOperations, CountsAndSizesFollowTheEmptinessRule) {
    backend->folder("onlyEmpty/inner");
    backend->folder("zeroDeep/sub");
    backend->file("zeroDeep/sub/zero", 0);
    backend->folder("zeroHere");
    backend->file("zeroHere/zero", 0);
    backend->folder("hidden");
    backend->file("hidden/.dotfile", 0);
    backend->folder("tenBytes/X");
    backend->file("tenBytes/X/data", 10);

    EXPECT_EQ(folder("onlyEmpty").Files().Count(), 0u);
    EXPECT_EQ(folder("onlyEmpty").Size(), 0u);
    EXPECT_EQ(folder("zeroDeep").Files().Count(), 0u);
    EXPECT_EQ(folder("zeroDeep").Size(), 0u);
    EXPECT_EQ(folder("zeroHere").Files().Count(), 1u);
    EXPECT_EQ(folder("zeroHere").Size(), 0u);
    EXPECT_EQ(folder("hidden").Files().Count(), 1u);
    EXPECT_EQ(folder("tenBytes").Files().Count(), 0u);
    EXPECT_EQ(folder("tenBytes").Size(), 10u);
}

TEST_P(FolderOperations, LinksAndSpecialFilesCountAsFilesAndAreNeverZero) {
    backend->folder("withLink");
    backend->symlink("withLink/link"); // on disk it points back at its folder
    backend->folder("withFifo/deeper");
    backend->fifo("withFifo/deeper/pipe");

    EXPECT_EQ(folder("withLink").Files().Count(), 1u);
    EXPECT_TRUE(folder("withLink").SubFolders().empty()) << "a link to a folder must not be followed";
    EXPECT_GT(folder("withLink").Size(), 0u);
    EXPECT_EQ(folder("withFifo").Files().Count(), 0u);
    EXPECT_GT(folder("withFifo").Size(), 0u);
}

TEST_P(FolderOperations, SubFoldersComeInByteOrderWithFullPaths) {
    // Added out of order; "\xc3\xa9" (e-acute) and "\xff" sort after ASCII.
    for (const char* name : {"\xff", "b", "\xc3\xa9", "B", ".hidden", "a b"})
        backend->folder(name);
    backend->file("file", 3);

    const std::vector<std::string> expected = {backend->path(".hidden"),  backend->path("B"),
                                               backend->path("a b"),      backend->path("b"),
                                               backend->path("\xc3\xa9"), backend->path("\xff")};
    EXPECT_EQ(pathsOf(backend->fs().GetFolder(backend->main()).SubFolders()), expected);
}

TEST_P(FolderOperations, MissingFoldersAreReportedWithPathAndReason) {
    backend->file("plain", 0);
    auto& fs = backend->fs();

    EXPECT_TRUE(fs.FolderExists(backend->main()));
    EXPECT_FALSE(fs.FolderExists(backend->path("gone")));
    EXPECT_FALSE(fs.FolderExists(backend->path("plain")));

    try {
        fs.GetFolder(backend->path("gone"));
        FAIL() << "GetFolder on a missing folder must throw";
    } catch (const FsError& error) {
        EXPECT_EQ(error.path(), backend->path("gone"));
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_EQ(error.reason(), std::strerror(ENOENT));
    }
    EXPECT_THROW(fs.GetFolder(backend->path("plain")), FsError);
}

// What the Trash is made of: files written once and whole, a file whose
// text is replaced at once, and where an entry lies and who may change it.
TEST_P(FolderOperations, NewFilesAreWrittenOnceAndReplacedWhole) {
    auto& fs = backend->fs();
    backend->folder("t");
    std::uint64_t device = 0;
    std::error_code ec;
    const cleaner::OpenFolder t = fs.open(backend->path("t"), device, ec);
    ASSERT_FALSE(ec);
    fs.writeNewFile(t.get(), "a.trashinfo", "first\n", ec);
    EXPECT_FALSE(ec) << ec.message();
    fs.writeNewFile(t.get(), "a.trashinfo", "second\n", ec);
    EXPECT_EQ(ec, std::errc::file_exists) << "never written twice";
    EXPECT_EQ(fs.readTextFile(t.get(), "a.trashinfo", 100, ec), "first\n");
    const cleaner::EntryStatus written = fs.examine(t.get(), "a.trashinfo", ec);
    EXPECT_EQ(written.kind, cleaner::EntryKind::RegularFile);
    EXPECT_EQ(written.permissions, 0600u) << "its owner's only";
    EXPECT_EQ(written.mountId, fs.folderStatus(t.get(), ec).mountId);

    for (const char* text : {"1 2 one\n", "3 4 two\n"}) {
        fs.replaceFile(t.get(), "directorysizes", text, ec);
        EXPECT_FALSE(ec) << ec.message();
        EXPECT_EQ(fs.readTextFile(t.get(), "directorysizes", 100, ec), text);
    }
    EXPECT_EQ(backend->fs().GetFolder(backend->path("t")).Files().Count(), 2u) << "no temporary file left";
}

INSTANTIATE_TEST_SUITE_P(Backends, FolderOperations, ::testing::Values("memory", "disk"),
                         [](const auto& info) { return info.param; });

TEST(DiskFolderOperations, AFolderRemovedAfterItsHandleWasTakenFailsToRead) {
    testing_support::DiskBackend backend;
    backend.folder("brief");
    const Folder brief = backend.fs().GetFolder(backend.path("brief"));
    testing_support::removeTree(backend.path("brief"));
    EXPECT_FALSE(backend.fs().FolderExists(brief.Path()));
    EXPECT_THROW(brief.SubFolders(), FsError);
    EXPECT_THROW(brief.Files(), FsError);
    EXPECT_THROW(brief.Size(), FsError);
}

// Failures that only the memory file system can stage whoever runs the tests.

TEST(MemoryFolderOperations, SizeFailsWhenAnyFolderOfTheTreeCantBeRead) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A/B/C");
    fs.addFolder("/M/A/D");
    fs.failOn("/M/A/B/C", MemoryFileSystem::Step::List, std::errc::permission_denied);

    const Folder a = fs.GetFolder("/M/A");
    EXPECT_EQ(a.Files().Count(), 0u); // A itself lists fine
    try {
        a.Size();
        FAIL() << "Size must fail on the unreadable folder";
    } catch (const FsError& error) {
        EXPECT_EQ(error.path(), "/M/A/B/C");
        EXPECT_EQ(error.code(), std::errc::permission_denied);
        EXPECT_EQ(std::string(error.what()), "/M/A/B/C: " + std::string(std::strerror(EACCES)));
    }
    EXPECT_EQ(fs.openHandleCount(), 0u) << "a failed read must close what it opened";
}

TEST(MemoryFolderOperations, AnUnexaminableSubfolderFailsTheListingButAnUnexaminableFileDoesNot) {
    MemoryFileSystem fs;
    fs.addFolder("/M/sub");
    fs.addFile("/M/f", 0);
    fs.failOn("/M/f", MemoryFileSystem::Step::Examine);
    EXPECT_EQ(fs.GetFolder("/M").Files().Count(), 1u);
    EXPECT_EQ(fs.GetFolder("/M").Size(), 1u) << "a file of unknown size must not count as zero";

    fs.failOn("/M/sub", MemoryFileSystem::Step::Examine, std::errc::io_error);
    try {
        fs.GetFolder("/M").SubFolders();
        FAIL() << "listing must fail on the subfolder that can't be examined";
    } catch (const FsError& error) {
        EXPECT_EQ(error.path(), "/M/sub");
        EXPECT_EQ(error.code(), std::errc::io_error);
    }
}

TEST(MemoryFolderOperations, AMountPointIsAFileOfUnknownSizeAndIsNeverEntered) {
    MemoryFileSystem fs;
    fs.addFolder("/M/A");
    fs.addMountPoint("/M/A/usb");
    const Folder a = fs.GetFolder("/M/A");
    EXPECT_TRUE(a.SubFolders().empty());
    EXPECT_EQ(a.Files().Count(), 1u);
    EXPECT_GT(a.Size(), 0u);
}

TEST(MemoryFolderOperations, EntriesOfUnknownTypeAreExaminedToTellFoldersFromFiles) {
    MemoryFileSystem fs;
    fs.addFolder("/M/sub");
    fs.addFile("/M/f", 5);
    fs.addOther("/M/link");
    fs.addFile("/M/lost", 0);
    fs.failOn("/M/lost", MemoryFileSystem::Step::Examine);
    fs.reportUnknownTypes(true);

    const Folder m = fs.GetFolder("/M");
    EXPECT_EQ(pathsOf(m.SubFolders()), std::vector<std::string>{"/M/sub"});
    EXPECT_EQ(m.Files().Count(), 3u);
    EXPECT_EQ(m.Size(), 5u + 1u + 1u); // the link and the unexaminable entry weigh one byte each
}

// What a folder browser shows: every folder, other file systems' too, and
// no link or file. Where the listing gives no types, an entry that can't
// be examined is left out.
TEST(MemoryFolderOperations, FolderNamesAreThoseOfFoldersAndMountPointsOnly) {
    for (const bool unknownTypes : {false, true}) {
        MemoryFileSystem fs;
        fs.addFolder("/M/sub/inner");
        fs.addMountPoint("/M/usb");
        fs.addFile("/M/f", 5);
        fs.addOther("/M/link");
        fs.addFolder("/M/lost");
        fs.failOn("/M/lost", MemoryFileSystem::Step::Examine);
        fs.reportUnknownTypes(unknownTypes);
        std::error_code ec;
        std::vector<std::string> names = fs.folderNamesIn("/M", ec);
        std::sort(names.begin(), names.end());
        EXPECT_FALSE(ec);
        EXPECT_EQ(names, (unknownTypes ? std::vector<std::string>{"sub", "usb"}
                                       : std::vector<std::string>{"lost", "sub", "usb"}))
            << "unknown types " << unknownTypes;
        fs.folderNamesIn("/M/f", ec);
        EXPECT_TRUE(ec) << "a file is no folder to list";
    }
}

// The mount table as the kernel writes it: its escapes undone, and a line
// it could not have written refused, so that no mount is missed unseen.
TEST(MountTable, MountPointsAreReadWithTheirEscapesUndone) {
    const std::string table = "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
                              "30 22 0:26 / /tmp/a\\040b rw shared:9 - tmpfs tmpfs rw\n"
                              "31 22 0:27 /sub /tmp/tab\\011nl\\012bs\\134 rw - ext4 /dev/vda1 rw\n";
    const auto points = cleaner::parseMountPoints(table);
    ASSERT_TRUE(points);
    EXPECT_EQ(*points, (std::vector<std::string>{"/proc", "/tmp/a b", "/tmp/tab\tnl\nbs\\"}));
    for (const char* broken : {"22 1 0:21 /\n", "22 1 0:21 / proc rw\n", "22 1 0:21 / /bad\\04x rw\n"})
        EXPECT_FALSE(cleaner::parseMountPoints(broken)) << broken;

    struct Row {
        const char* folder;
        bool mountBeneath;
    };
    for (const Row row : {Row{"/", true}, Row{"/tmp", true}, Row{"/tmp/", true}, Row{"/tmp/a b", false},
                          Row{"/tmp/a", false}, Row{"/proc", false}, Row{"/home", false}})
        EXPECT_EQ(cleaner::anyMountBeneath(*points, row.folder), row.mountBeneath) << row.folder;

    // The live table is whatever this machine has (a chroot shows neither
    // "/" nor, without /proc, any table): it reads as its text parses.
    std::ifstream live("/proc/self/mountinfo");
    const std::string text{std::istreambuf_iterator<char>(live), std::istreambuf_iterator<char>()};
    const auto now = cleaner::mountPointsNow();
    if (!live.is_open()) {
        EXPECT_FALSE(now) << "no table to read";
    } else {
        ASSERT_TRUE(now) << "this system's own table reads";
        EXPECT_EQ(*now, cleaner::parseMountPoints(text).value_or(std::vector<std::string>{"unparsed"}));
    }
}
