// SPDX-License-Identifier: GPL-3.0-or-later
// Moving folders to the desktop's Trash and back: whole, by rename, each
// with its info file, never over anything, and only what is still empty.
#include "cleaner/deletion_log.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"
#include "cleaner/put_back.h"
#include "cleaner/trash_can.h"
#include "cleaner/trash_info.h"
#include "support/backends.h"
#include "support/hooked_file_system.h"
#include "support/memory_file_system.h"
#include "support/processes.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <set>
#include <span>

#include <fcntl.h>
#include <sys/xattr.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::DiskBackend;
using testing_support::HookedFileSystem;
using testing_support::MemoryFileSystem;
using Lines = std::vector<std::string>;

namespace {

// Marks `entries`, moves them to `trash`, and returns the log.
Lines trashAll(cleaner::FileSystem& fs, cleaner::TrashCan& trash, const std::string& main, const Lines& entries) {
    cleaner::FolderList List1;
    for (const std::string& entry : entries)
        List1.AddItem(entry);
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;
    cleaner::ListBoxRemSel(List1, List2, fs, main, deleted, &trash);
    Lines log;
    for (int i = 0; i < List2.ListCount(); ++i)
        log.push_back(List2.List(i));
    return log;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// On disk: each topmost folder is one item, its Path brings the name back,
// directorysizes has a line for it, and putting back gives the same folder.
TEST(Trash, EachFolderGoesWholeWithItsInfoAndComesBackTheSameFolder) {
    DiskBackend disk;
    testing_support::TempFolder data("efr-data");
    const std::string odd = "x %+#\nbad\xff";
    for (const std::string& folder : {std::string("a/b"), std::string("c d"), odd})
        disk.folder(folder);
    const ino_t inode = inodeOf(disk.path("a"));
    cleaner::PosixFileSystem fs;
    std::vector<cleaner::TrashedItem> items;
    {
        cleaner::TrashCan trash(fs, std::nullopt, data.path());
        cleaner::FolderList List1;
        for (const std::string& entry : {disk.path("a"), disk.path("a/b"), disk.path("c d"), disk.path(odd)})
            List1.AddItem(entry);
        cleaner::ListBoxSelAll(List1);
        cleaner::DeletionLog List2;
        cleaner::DeletedFolders deleted;
        cleaner::FolderRemover remover(fs, disk.main(), deleted);
        remover.moveToTrashCan(trash);
        cleaner::MarkedEntryRemoval run(List1, List2);
        while (const auto request = run.next())
            run.finish(remover.DeleteFolder(*request));
        trash.finish();
        EXPECT_EQ(List1.ListCount(), 0) << "every entry went";
        EXPECT_EQ(List2.List(1), disk.path("a/b") + " has been moved to the Trash.");
        items = remover.trashed();
        ASSERT_EQ(items.size(), 3u) << "one item for each topmost folder";

        const std::string trashFolder = data / "Trash";
        std::set<std::string> names;
        for (const cleaner::TrashedItem& item : items) {
            names.insert(item.name);
            std::error_code ec;
            const std::string text = fs.readTextFile(cleaner::kNoFolder, trashFolder + "/info/" + item.name + ".trashinfo",
                                                     4096, ec);
            const auto info = cleaner::parseTrashInfo(text);
            ASSERT_TRUE(info) << text;
            EXPECT_EQ(info->path, item.originalPath) << "absolute in the home Trash, whatever its bytes";
        }
        EXPECT_EQ(names.size(), 3u);
        EXPECT_EQ(inodeOf(trashFolder + "/files/a"), inode);
        std::error_code ec;
        const std::string sizes = fs.readTextFile(cleaner::kNoFolder, trashFolder + "/directorysizes", 4096, ec);
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), '\n'), 3) << sizes;

        for (const cleaner::TrashedItem& item : items)
            EXPECT_FALSE(trash.putBack(item)) << item.originalPath;
        trash.finish();
        EXPECT_EQ(fs.readTextFile(cleaner::kNoFolder, trashFolder + "/directorysizes", 4096, ec), "");
        EXPECT_EQ(fs.GetFolder(trashFolder + "/info").Files().Count(), 0u);
    }
    EXPECT_EQ(inodeOf(disk.path("a")), inode) << "the same folder comes back";
    // What is in the Trash is the desktop's: a scan lists none of it.
    {
        cleaner::TrashCan again(fs, std::nullopt, data.path());
        trashAll(fs, again, disk.main(), {disk.path("c d")});
    }
    cleaner::EmptyFolderScan scan(fs, data.path());
    Lines found;
    const cleaner::ScanOutcome outcome =
        scan.run([&found](std::vector<std::string>&& batch) { found.insert(found.end(), batch.begin(), batch.end()); });
    EXPECT_EQ(found, Lines{});
    ASSERT_EQ(outcome.kept.size(), 1u);
    EXPECT_EQ(outcome.kept[0].reason, "it is the desktop's Trash");
    EXPECT_NE(inodeOf(disk.path("a/b")), 0u);
    EXPECT_NE(inodeOf(disk.path(odd)), 0u);
}

// Ten thousand folders of one name each get a name of their own, at the
// first or second try, and nothing already in the Trash is touched.
TEST(Trash, FoldersOfOneNameGetDistinctNamesWithoutProbing) {
    MemoryFileSystem memory;
    constexpr int kFolders = 10000;
    for (int i = 0; i < kFolders; ++i)
        memory.addFolder("/M/p" + std::to_string(i) + "/cache");
    memory.addFolder("/D/Trash/files/cache");
    memory.addTextFile("/D/Trash/info/cache.trashinfo", "[Trash Info]\nPath=/elsewhere/cache\n");
    unsigned writes = 0;
    HookedFileSystem fs(memory, [&writes](HookedFileSystem::Operation operation, const std::string&) {
        writes += operation == HookedFileSystem::Operation::Write ? 1 : 0;
        return std::error_code{};
    });
    cleaner::TrashCan trash(fs, std::nullopt, "/D");
    Lines entries;
    for (int i = 0; i < kFolders; ++i)
        entries.push_back("/M/p" + std::to_string(i) + "/cache");
    const Lines log = trashAll(fs, trash, "/M", entries);
    ASSERT_EQ(log.size(), entries.size());
    EXPECT_EQ(log.back(), entries.back() + " has been moved to the Trash.");
    EXPECT_EQ(memory.fileSize("/D/Trash/info/cache.trashinfo"), std::string("[Trash Info]\nPath=/elsewhere/cache\n").size())
        << "another item of the name is left as it was";
    EXPECT_LE(writes, 2u * kFolders + 1) << "each name found at the first or second try, and one directorysizes";
    EXPECT_EQ(fs.GetFolder("/D/Trash/files").SubFolders().size(), static_cast<std::size_t>(kFolders) + 1);
}

// A folder that can't be moved leaves no info file behind; one that gained
// data while it moved goes back where it was, with its data.
TEST(Trash, AFailedOrRegrettedMoveLeavesTheTrashAsItWas) {
    MemoryFileSystem memory;
    memory.addFolder("/M/stuck");
    memory.addFolder("/M/grows");
    memory.addFolder("/D");
    HookedFileSystem fs(memory, [&memory](HookedFileSystem::Operation operation, const std::string& name) {
        if (operation == HookedFileSystem::Operation::Move && name == "stuck")
            return std::make_error_code(std::errc::permission_denied);
        if (operation == HookedFileSystem::Operation::Open && name.starts_with("grows") &&
            memory.exists("/D/Trash/files/grows") && !memory.exists("/D/Trash/files/grows/data"))
            memory.addFile("/D/Trash/files/grows/data", 7); // written by a program at that very moment
        return std::error_code{};
    });
    cleaner::TrashCan trash(fs, std::nullopt, "/D");
    EXPECT_EQ(trashAll(fs, trash, "/M", {"/M/grows", "/M/stuck"}),
              (Lines{"/M/grows was not deleted: it is no longer empty.",
                     "/M/stuck could not be deleted: Permission denied."}));
    EXPECT_EQ(memory.fileSize("/M/grows/data"), 7u);
    EXPECT_TRUE(memory.exists("/M/stuck"));
    EXPECT_EQ(fs.GetFolder("/D/Trash/info").Files().Count(), 0u) << "no info without its item";
    EXPECT_EQ(fs.GetFolder("/D/Trash/files").SubFolders().size(), 0u);
}

// A Trash that is a link, or that another user owns, is never used: no
// Trash at all is then the outcome, and nothing is deleted instead.
TEST(Trash, ALinkedTrashIsNeverUsed) {
    MemoryFileSystem memory;
    memory.addFolder("/M/e");
    memory.addFolder("/D/Trash/files");
    memory.addFolder("/D/Trash/info");
    memory.replaceWithLink("/D/Trash", "/D/elsewhere");
    cleaner::TrashCan trash(memory, std::nullopt, "/D");
    const Lines log = trashAll(memory, trash, "/M", {"/M/e"});
    EXPECT_EQ(log, Lines{"/M/e could not be deleted: no Trash can take it on its drive."});
    EXPECT_TRUE(memory.exists("/M/e"));
    EXPECT_FALSE(memory.exists("/D/elsewhere/files/e"));

    // The window asks first: the entry waits, marked, with the reason.
    cleaner::FolderList List1;
    List1.AddItem("/M/e");
    List1.Selected(0, true);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;
    cleaner::FolderRemover remover(memory, "/M", deleted);
    remover.moveToTrashCan(trash);
    cleaner::MarkedEntryRemoval run(List1, List2);
    run.holdWhereNoTrash();
    while (const auto request = run.next())
        run.finish(remover.DeleteFolder(*request));
    EXPECT_EQ(List2.ListCount(), 0);
    EXPECT_EQ(List1.SelCount(), 1);
    EXPECT_EQ(run.waitingForTrash(), 1);
    EXPECT_EQ(run.whyNoTrash(), Lines{"the Trash at /D/Trash can't be used"});
}

// A folder on another drive than the home Trash goes to the drive's own, by
// a path relative to the drive's top: .Trash/$uid under a sticky .Trash,
// else .Trash-$uid; one that is a link is never used.
TEST(Trash, ADriveOfItsOwnHasItsOwnTrashWithPathsFromItsTop) {
    DiskBackend disk;
    testing_support::TempFolder data("efr-data");
    disk.folder("drive");
    const std::string top = disk.path("drive");
    const std::string uid = std::to_string(::geteuid());
    bool mounted = false;
    const std::string seen = testing_support::runWithMount(
        top,
        [&] {
            cleaner::PosixFileSystem fs;
            std::string result;
            const auto trashOne = [&](const std::string& name, const std::string& trash) {
                ::mkdir((top + "/M").c_str(), 0755);
                ::mkdir((top + "/M/" + name).c_str(), 0755);
                cleaner::TrashCan can(fs, std::nullopt, data.path());
                result += trashAll(fs, can, top + "/M", {top + "/M/" + name}).front() + "\n";
                std::error_code ec;
                const auto info = cleaner::parseTrashInfo(
                    fs.readTextFile(cleaner::kNoFolder, trash + "/info/" + name + ".trashinfo", 4096, ec));
                result += (info ? info->path : "no info") + (inodeOf(trash + "/files/" + name) ? " in\n" : " out\n");
            };
            trashOne("first", top + "/.Trash-" + uid);
            ::mkdir((top + "/.Trash").c_str(), 0777);
            ::chmod((top + "/.Trash").c_str(), 01777);
            trashOne("second", top + "/.Trash/" + uid);
            // Links where the Trash would be: another user's trap, say.
            for (const std::string& trash : {top + "/.Trash/" + uid, top + "/.Trash-" + uid}) {
                testing_support::removeTree(trash);
                ::symlink(data.path().c_str(), trash.c_str());
            }
            trashOne("third", top + "/.Trash-" + uid);
            return result + (inodeOf(top + "/M/third") ? "third stayed" : "third went");
        },
        mounted);
    if (!mounted)
        GTEST_SKIP() << "mounting is not allowed here";
    EXPECT_EQ(seen, top + "/M/first has been moved to the Trash.\nM/first in\n" + top +
                        "/M/second has been moved to the Trash.\nM/second in\n" + top +
                        "/M/third could not be deleted: no Trash can take it on its drive.\nno info out\nthird stayed");
    EXPECT_EQ(inodeOf(data / "Trash"), 0u) << "the home Trash, on another drive, was not made";
}

namespace {

Lines listOf(const cleaner::FolderList& list) {
    Lines texts;
    for (int i = 0; i < list.ListCount(); ++i)
        texts.push_back(list.List(i) + (list.Selected(i) ? " [x]" : ""));
    return texts;
}

// One Delete of the marked entries to `trash`, as the window makes it:
// what it moved, and which entries went with each.
cleaner::TrashedDeletion trashMarked(cleaner::FileSystem& fs, cleaner::TrashCan& trash, const std::string& main,
                                     cleaner::FolderList& List1, cleaner::DeletionLog& List2,
                                     cleaner::DeletedFolders& deleted) {
    cleaner::FolderRemover remover(fs, main, deleted);
    remover.moveToTrashCan(trash);
    cleaner::MarkedEntryRemoval run(List1, List2);
    while (const auto request = run.next())
        run.finish(remover.DeleteFolder(*request));
    trash.finish();
    return cleaner::TrashedDeletion{remover.trashed(), run.wentToTrash(), List1.generation()};
}

Lines putBack(cleaner::TrashCan& trash, cleaner::FolderList& List1, cleaner::DeletedFolders& deleted,
              cleaner::TrashedDeletion deletion) {
    cleaner::DeletionLog log;
    cleaner::PutBackRun run(List1, log, deleted, std::move(deletion));
    for (const cleaner::TrashedItem& item : run.items())
        run.finish(std::span<const std::error_code>(std::vector{trash.putBack(item)}));
    trash.finish();
    Lines lines;
    for (int i = 0; i < log.ListCount(); ++i)
        lines.push_back(log.List(i));
    return lines;
}

} // namespace

// Two Deletes taken back newest first: the folders stand again, and their
// entries return at their places, unmarked, while other marks stay.
TEST(Trash, UndoPutsBackNewestFirstAndEntriesReturnAtTheirPlaces) {
    MemoryFileSystem memory;
    const Lines all{"/M/a", "/M/a/b", "/M/c", "/M/d", "/M/d/e", "/M/f"};
    for (const std::string& folder : all)
        memory.addFolder(folder);
    memory.addFolder("/D");
    cleaner::TrashCan trash(memory, std::nullopt, "/D");
    cleaner::FolderList List1;
    for (const std::string& entry : all)
        List1.AddItem(entry);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;

    List1.Selected(1, true); // a/b
    List1.Selected(4, true); // d/e
    cleaner::TrashedDeletion first = trashMarked(memory, trash, "/M", List1, List2, deleted);
    List1.Selected(0, true); // a
    List1.Selected(2, true); // d
    cleaner::TrashedDeletion second = trashMarked(memory, trash, "/M", List1, List2, deleted);
    ASSERT_EQ(listOf(List1), (Lines{"/M/c", "/M/f"}));
    ASSERT_EQ(first.entries.size(), 2u);
    List1.Selected(0, true); // the user marks c meanwhile

    EXPECT_EQ(putBack(trash, List1, deleted, std::move(second)),
              (Lines{"/M/d has been put back.", "/M/a has been put back."}));
    EXPECT_EQ(listOf(List1), (Lines{"/M/a", "/M/c [x]", "/M/d", "/M/f"}));
    EXPECT_EQ(putBack(trash, List1, deleted, std::move(first)),
              (Lines{"/M/d/e has been put back.", "/M/a/b has been put back."}));
    EXPECT_EQ(listOf(List1), (Lines{"/M/a", "/M/a/b", "/M/c [x]", "/M/d", "/M/d/e", "/M/f"}));
    for (const std::string& folder : all)
        EXPECT_TRUE(memory.isFolder(folder)) << folder;
    EXPECT_FALSE(deleted.contains("/M/a/b")) << "should it vanish now, it was not deleted by us";
    EXPECT_EQ(memory.GetFolder("/D/Trash/files").SubFolders().size(), 0u);
    EXPECT_EQ(memory.GetFolder("/D/Trash/info").Files().Count(), 0u);
}

// On disk: what comes back is the very folder that went, with its modes,
// owner, modification time and attributes (reading it to check it was
// empty sets its access time, as the scan did); what can't come back is left where it is, and the
// log says why.
TEST(Trash, UndoGivesBackTheSameFolderOrSaysWhyNot) {
    DiskBackend disk;
    testing_support::TempFolder data("efr-data");
    for (const char* folder : {"same", "taken", "above/gone", "emptied"})
        disk.folder(folder);
    const std::string same = disk.path("same");
    ::chmod(same.c_str(), 0701);
    const timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
    ::utimensat(AT_FDCWD, same.c_str(), times, 0);
    const bool xattrs = ::setxattr(same.c_str(), "user.efr", "kept", 4, 0) == 0;
    struct stat before {};
    ::lstat(same.c_str(), &before);

    cleaner::PosixFileSystem fs;
    cleaner::TrashCan trash(fs, std::nullopt, data.path());
    cleaner::FolderList List1;
    for (const char* entry : {"same", "taken", "above", "above/gone", "emptied"})
        List1.AddItem(disk.path(entry));
    List1.Selected(0, true);
    List1.Selected(1, true);
    List1.Selected(3, true);
    List1.Selected(4, true);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;
    cleaner::TrashedDeletion deletion = trashMarked(fs, trash, disk.main(), List1, List2, deleted);
    ASSERT_EQ(deletion.items.size(), 4u);
    ::mkdir(disk.path("taken").c_str(), 0755);
    ::rmdir(disk.path("above").c_str());
    testing_support::removeTree(data / "Trash/files/emptied");

    EXPECT_EQ(putBack(trash, List1, deleted, std::move(deletion)),
              (Lines{disk.path("emptied") + " was not put back: it is no longer in the Trash.",
                     disk.path("above/gone") + " was not put back: the folder it was in is gone, so it stays in the Trash.",
                     disk.path("taken") + " was not put back: something else has its name now, and it stays in the Trash.",
                     disk.path("same") + " has been put back."}));
    EXPECT_EQ(listOf(List1), (Lines{disk.path("same"), disk.path("above")})) << "only what came back returns";
    EXPECT_NE(inodeOf(data / "Trash/files/taken"), 0u) << "nothing was overwritten";
    EXPECT_NE(inodeOf(data / "Trash/files/gone"), 0u);
    struct stat after {};
    ASSERT_EQ(::lstat(same.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mtim.tv_sec, 1200000000);
    if (xattrs) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(same.c_str(), "user.efr", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
}

// Run as root with another user's $XDG_DATA_HOME (sudo keeps it), the
// folders go to the Trash of the user this runs as: the other's is left
// alone.
TEST(Trash, AnotherUsersDataHomeIsNeverUsed) {
    DiskBackend disk;
    disk.folder("e");
    testing_support::TempFolder own("efr-home");
    testing_support::TempFolder other("efr-other");
    std::string othersData = other.path();
    if (::geteuid() == 0)
        ASSERT_EQ(::chown(othersData.c_str(), 65534, 65534), 0);
    else
        othersData = "/"; // not ours either
    cleaner::PosixFileSystem fs;
    {
        cleaner::TrashCan trash(fs, own.path(), othersData);
        EXPECT_EQ(trash.homeTrash(), own / ".local/share/Trash");
        EXPECT_EQ(trashAll(fs, trash, disk.main(), {disk.path("e")}),
                  Lines{disk.path("e") + " has been moved to the Trash."});
    }
    EXPECT_NE(inodeOf(own / ".local/share/Trash/files/e"), 0u);
    EXPECT_EQ(inodeOf(othersData + "/Trash"), 0u);
}

// Killed at any moment of a move, the Trash holds no item without its info
// file: the info is written first, and the folder renamed after.
TEST(Trash, KilledMidMoveTheTrashHoldsNoItemWithoutItsInfo) {
    struct Moment {
        const char* what;
        HookedFileSystem::Operation operation; // killed at the first of these on "gone"
    };
    for (const Moment moment : {Moment{"after the info file", HookedFileSystem::Operation::Move},
                                Moment{"after the rename", HookedFileSystem::Operation::Open}}) {
        DiskBackend disk;
        disk.folder("gone");
        testing_support::TempFolder data("efr-data");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            cleaner::PosixFileSystem posix;
            const bool afterRename = moment.operation == HookedFileSystem::Operation::Open;
            HookedFileSystem fs(posix, [&](HookedFileSystem::Operation operation, const std::string& name) {
                const bool inTrash = name.starts_with("gone") && ::access((data / "Trash/files/gone").c_str(), F_OK) == 0;
                if (operation == moment.operation && name.starts_with("gone") && inTrash == afterRename)
                    ::_exit(0);
                return std::error_code{};
            });
            cleaner::TrashCan trash(fs, std::nullopt, data.path());
            trashAll(fs, trash, disk.main(), {disk.path("gone")});
            ::_exit(3); // never killed: the test is wrong
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << moment.what;
        cleaner::PosixFileSystem fs;
        for (const cleaner::Folder& item : fs.GetFolder(data / "Trash/files").SubFolders()) {
            const std::string name = item.Path().substr(item.Path().rfind('/') + 1);
            std::error_code ec;
            const std::string info =
                fs.readTextFile(cleaner::kNoFolder, data / ("Trash/info/" + name + ".trashinfo"), 4096, ec);
            EXPECT_TRUE(cleaner::parseTrashInfo(info)) << moment.what << ": " << name;
        }
        EXPECT_NE(inodeOf(disk.path("gone")) != 0, inodeOf(data / "Trash/files/gone") != 0)
            << moment.what << ": the folder is in one place or the other";
    }
}
