// SPDX-License-Identifier: GPL-3.0-or-later
// Folders that the system or a program needs: the scan never lists them,
// and the removal never touches them.
#include "cleaner/deletion_log.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "support/hooked_file_system.h"
#include "support/memory_file_system.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <set>

using testing_support::HookedFileSystem;
using testing_support::MemoryFileSystem;
using Step = MemoryFileSystem::Step;

namespace {

struct Outcome {
    std::vector<std::string> found;
    std::vector<std::string> kept; // "<path>: <reason>"
    std::string mainFolderKept;
    std::string stoppedAt;
    bool operator==(const Outcome&) const = default;
};

Outcome scan(cleaner::FileSystem& fs, const std::string& main, unsigned threads,
             const std::optional<std::string>& userHome) {
    Outcome result;
    cleaner::EmptyFolderScan scan(fs, main);
    scan.setReadAheadThreads(threads);
    scan.setUserHome(userHome);
    const cleaner::ScanOutcome outcome = scan.run([&result](std::vector<std::string>&& batch) {
        result.found.insert(result.found.end(), batch.begin(), batch.end());
    });
    for (const cleaner::KeptFolder& kept : outcome.kept)
        result.kept.push_back(kept.path + ": " + kept.reason);
    if (outcome.mainFolderKept)
        result.mainFolderKept = outcome.mainFolderKept->path + ": " + outcome.mainFolderKept->reason;
    result.stoppedAt = outcome.stoppedAt;
    return result;
}

// The same with the walk reading alone and with read-ahead threads: the
// outcome must not depend on how many there are.
Outcome scanned(cleaner::FileSystem& fs, const std::string& main,
               const std::optional<std::string>& userHome = std::nullopt) {
    const Outcome alone = scan(fs, main, 0, userHome);
    EXPECT_EQ(alone, scan(fs, main, 16, userHome)) << main;
    return alone;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(KeptFolders, EachRuleKeepsItsFolderAndEverythingElseIsListedAsBefore) {
    MemoryFileSystem fs;
    fs.addTextFile("/etc/os-release", "ID=debian\n");
    fs.addTextFile("/etc/fstab", "UUID=1 / ext4 defaults 0 1\n"
                                 "UUID=2 /data/ ext4 defaults 0 2\n"
                                 "/dev/sdb1 /media/My\\040Disk auto nofail 0 0\n");
    fs.addFolder("/lost+found");
    fs.addFolder("/var/cache/empty");
    fs.failOn("/var/cache", Step::List); // sealed: never read
    fs.addFolder("/usr/share");
    fs.addFolder("/tmp/left");
    fs.addFolder("/data/inside");
    fs.addFolder("/media/My Disk");
    fs.addTextFile("/home/u/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    fs.addFolder("/home/u/Music/old");
    fs.addFolder("/home/u/p/.git/refs/heads");
    fs.failOn("/home/u/p/.git", Step::Open);
    fs.addFolder("/home/u/p/src");
    fs.addFolder("/home/u/only/.git");
    fs.addFile("/home/u/bare/HEAD", 23);
    fs.addFolder("/home/u/bare/objects/info");
    fs.addFolder("/home/u/bare/refs/heads");
    fs.failOn("/home/u/bare/refs", Step::List);
    fs.addFile("/home/u/db/PG_VERSION", 3);
    fs.addFolder("/home/u/db/pg_notify");
    fs.addFolder("/home/u/vcs/.svn");
    fs.addFolder("/home/u/vcs/.hg");
    fs.addFolder("/home/u/vcs/.bzr");
    fs.addFolder("/home/u/empty");

    const Outcome outcome = scanned(fs, "/");
    EXPECT_EQ(outcome.stoppedAt, "");
    EXPECT_EQ(outcome.found,
              (Lines{"/data/inside", "/home/u/Music/old", "/home/u/empty", "/home/u/p/src", "/tmp/left"}));
    EXPECT_EQ(outcome.kept, (Lines{
                                "/data: it is a mount point in /etc/fstab",
                                "/etc: the system needs it",
                                "/home: the system needs it",
                                "/home/u/.config: programs keep their state in it",
                                "/home/u/Music: the desktop uses it (XDG_MUSIC_DIR)",
                                "/home/u/bare: it is part of a git repository",
                                "/home/u/db: it is part of a PostgreSQL database",
                                "/home/u/only/.git: it is part of a git repository",
                                "/home/u/p/.git: it is part of a git repository",
                                "/home/u/vcs/.bzr: it is part of a Bazaar repository",
                                "/home/u/vcs/.hg: it is part of a Mercurial repository",
                                "/home/u/vcs/.svn: it is part of a Subversion working copy",
                                "/lost+found: the file system keeps it for repairs",
                                "/media: the system needs it",
                                "/media/My Disk: it is a mount point in /etc/fstab",
                                "/tmp: the system needs it",
                                "/usr: the system needs it",
                                "/var: the system needs it",
                            }));
}

TEST(KeptFolders, NothingInASealedFolderIsReadButAFolderKeptAloneIsWalked) {
    MemoryFileSystem memory;
    std::mutex mutex;
    std::set<std::string> opened;
    HookedFileSystem fs(memory, [&](HookedFileSystem::Operation operation, const std::string& name) {
        if (operation == HookedFileSystem::Operation::Open) {
            const std::lock_guard lock(mutex);
            opened.insert(name);
        }
        return std::error_code{};
    });
    memory.addTextFile("/M/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    memory.addFolder("/M/A/.git/objects");
    memory.addFolder("/M/A/e");
    memory.addFile("/M/B/HEAD", 23);
    for (const char* inside : {"/M/B/objects/pack", "/M/B/refs/heads", "/M/B/refs/tags", "/M/B/hooks"})
        memory.addFolder(inside);
    memory.addFolder("/M/Music/e");
    EXPECT_EQ(scanned(fs, "/M").found, (Lines{"/M/A/e", "/M/Music/e"}));
    for (const char* sealed : {".git", "objects", "pack", "refs", "heads", "tags", "hooks"})
        EXPECT_FALSE(opened.contains(sealed)) << sealed << " was opened";
    EXPECT_TRUE(opened.contains("Music") && opened.contains("B"));

    // Folders kept alone are read like any: one that can't be read stops
    // the scan before anything of its tree is listed.
    memory.addFolder("/M/Music/locked");
    memory.failOn("/M/Music/locked", Step::List);
    const Outcome stopped = scanned(fs, "/M");
    EXPECT_EQ(stopped.found, (Lines{"/M/A/e"}));
    EXPECT_EQ(stopped.stoppedAt, "/M/Music/locked");
}

TEST(KeptFolders, AnInstallationInsideTheTreeIsASystemRootWithItsOwnFstab) {
    MemoryFileSystem fs;
    fs.addFile("/M/u/chroot/usr/lib/os-release", 0);
    fs.addTextFile("/M/u/chroot/etc/fstab", "/dev/vda2 /data/x ext4 defaults 0 2\n");
    fs.addFolder("/M/u/chroot/data/x");
    fs.addFolder("/M/u/chroot/tmp/e");
    fs.addFolder("/M/u/chroot/var/lib/dpkg/updates");
    fs.addFolder("/M/u/plain/var/e");

    const Outcome outcome = scanned(fs, "/M");
    EXPECT_EQ(outcome.found,
              (Lines{"/M/u/chroot/tmp/e", "/M/u/plain", "/M/u/plain/var", "/M/u/plain/var/e"}));
    EXPECT_EQ(outcome.kept,
              (Lines{"/M/u/chroot/data/x: it is a mount point in /M/u/chroot/etc/fstab",
                     "/M/u/chroot/etc: the system needs it", "/M/u/chroot/tmp: the system needs it",
                     "/M/u/chroot/usr: the system needs it", "/M/u/chroot/var: the system needs it"}));

    // The fstab above the main folder names folders beneath it too.
    EXPECT_EQ(scanned(fs, "/M/u/chroot/data").kept,
              (Lines{"/M/u/chroot/data/x: it is a mount point in /M/u/chroot/etc/fstab"}));
}

TEST(KeptFolders, AMainFolderInASealedFolderListsNothingAndSaysWhy) {
    MemoryFileSystem fs;
    fs.addFile("/etc/os-release", 0);
    fs.addFolder("/var/lib/x/e");
    fs.addFolder("/M/p/.git/refs/heads");
    fs.addFile("/M/bare/HEAD", 23);
    fs.addFolder("/M/bare/objects");
    fs.addFolder("/M/bare/refs/x/e");
    fs.addFile("/M/db/PG_VERSION", 3);
    fs.addFolder("/M/db/base/e");
    fs.addVolume("/V");
    fs.addFolder("/V/lost+found/e");
    fs.addFolder("/run/media/u");
    fs.addVolume("/run/media/u/USB");
    fs.addFolder("/run/media/u/USB/e");
    fs.addFolder("/run/media/u/USB/lost+found/e");

    const std::pair<const char*, const char*> sealed[] = {
        {"/var/lib/x", "/var/lib/x: the system needs it"},
        {"/M/p/.git", "/M/p/.git: it is part of a git repository"},
        {"/M/p/.git/refs/", "/M/p/.git/refs/: it is part of a git repository"},
        {"/M/bare/refs/x", "/M/bare/refs/x: it is part of a git repository"},
        {"/M/db/base", "/M/db/base: it is part of a PostgreSQL database"},
        {"/V/lost+found", "/V/lost+found: the file system keeps it for repairs"},
        {"/run/media/u/USB/lost+found", "/run/media/u/USB/lost+found: the file system keeps it for repairs"},
    };
    for (const auto& [main, reason] : sealed) {
        const Outcome outcome = scanned(fs, main);
        EXPECT_EQ(outcome.mainFolderKept, reason);
        EXPECT_EQ(outcome.found, Lines{}) << main;
        EXPECT_EQ(outcome.stoppedAt, "") << main;
    }

    // A drive mounted inside a sealed folder is the user's to clean.
    const Outcome usb = scanned(fs, "/run/media/u/USB");
    EXPECT_EQ(usb.mainFolderKept, "");
    EXPECT_EQ(usb.found, (Lines{"/run/media/u/USB/e"}));
    EXPECT_EQ(usb.kept, (Lines{"/run/media/u/USB/lost+found: the file system keeps it for repairs"}));
}

namespace {

class KeptRemoval : public ::testing::Test {
protected:
    // Marks every entry, deletes, and returns the log.
    Lines deleteAll(const std::string& main, const Lines& entries) {
        for (const std::string& entry : entries)
            List1.AddItem(entry);
        cleaner::ListBoxSelAll(List1);
        cleaner::DeletedFolders deleted;
        cleaner::ListBoxRemSel(List1, List2, fs, main, deleted);
        Lines log;
        for (int i = 0; i < List2.ListCount(); ++i)
            log.push_back(List2.List(i));
        return log;
    }
    Lines listed() const {
        Lines entries;
        for (int i = 0; i < List1.ListCount(); ++i)
            entries.push_back(List1.List(i) + (List1.Selected(i) ? " (marked)" : ""));
        return entries;
    }

    MemoryFileSystem fs;
    cleaner::FolderList List1;
    cleaner::DeletionLog List2;
};

} // namespace

TEST_F(KeptRemoval, AKeptEntryOrOneInASealedFolderIsNeverTouchedAndTheLogSaysWhy) {
    fs.addFolder("/M/p/.git/refs/heads");
    fs.addFile("/M/p/.git/config", 0);
    fs.addFile("/M/bare/HEAD", 23);
    fs.addFolder("/M/bare/objects");
    fs.addFolder("/M/bare/refs");
    fs.addTextFile("/M/.config/user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/Music\"\n");
    fs.addFolder("/M/Music/old");
    fs.addFile("/M/sys/etc/os-release", 0);
    fs.addFolder("/M/sys/tmp");
    fs.addFolder("/M/sys/var/cache");
    fs.addFolder("/M/e");
    // Neither needs reading to be judged: they say why they stay, not that
    // they can't be read.
    fs.addFolder("/M/q/.svn");
    fs.failOn("/M/q/.svn", Step::Open);
    fs.failOn("/M/sys/tmp", Step::List);

    const std::pair<const char*, const char*> entries[] = {
        {"/M/p/.git", " was not deleted: it is part of a git repository."},
        {"/M/p/.git/refs/heads", " was not deleted: it is part of a git repository."},
        {"/M/p/.git/gone", " was not deleted: it is no longer there."},
        {"/M/p/.git/config", " was not deleted: it is no longer empty."},
        {"/M/bare/refs", " was not deleted: it is part of a git repository."},
        {"/M/bare", " was not deleted: it is part of a git repository."},
        {"/M/Music", " was not deleted: the desktop uses it (XDG_MUSIC_DIR)."},
        {"/M/Music/old", " has been deleted."},
        {"/M/sys/tmp", " was not deleted: the system needs it."},
        {"/M/sys/var/cache", " was not deleted: the system needs it."},
        {"/M/e", " has been deleted."},
        {"/M/q/.svn", " was not deleted: it is part of a Subversion working copy."},
    };
    Lines paths;
    Lines expectedLog;
    for (const auto& [path, line] : entries) {
        paths.push_back(path);
        expectedLog.push_back(path + std::string(line));
    }
    EXPECT_EQ(deleteAll("/M", paths), expectedLog);
    EXPECT_EQ(listed(), (Lines{"/M/p/.git", "/M/p/.git/refs/heads", "/M/p/.git/config", "/M/bare/refs",
                               "/M/bare", "/M/Music", "/M/sys/tmp", "/M/sys/var/cache", "/M/q/.svn"}))
        << "entries not deleted stay, unmarked";
    for (const char* kept :
         {"/M/p/.git/refs/heads", "/M/bare/refs", "/M/Music", "/M/sys/tmp", "/M/sys/var/cache", "/M/q/.svn"})
        EXPECT_TRUE(fs.exists(kept)) << kept;
}

TEST_F(KeptRemoval, NothingGoesWhenTheMainFolderLiesInASealedFolder) {
    fs.addFolder("/M/p/.git/refs/heads");
    EXPECT_EQ(deleteAll("/M/p/.git/refs", {"/M/p/.git/refs/heads", "/M/p/.git/refs/none"}),
              (Lines{"/M/p/.git/refs/heads was not deleted: it is part of a git repository.",
                     "/M/p/.git/refs/none was not deleted: it is no longer there."}));
    EXPECT_TRUE(fs.exists("/M/p/.git/refs/heads"));
}

TEST_F(KeptRemoval, ATreeThatGainedAKeptFolderIsNoLongerEmpty) {
    fs.addFolder("/M/A/.git");    // a repository made since the scan
    fs.addFile("/M/B/x/HEAD", 0); // a bare repository, even with an empty HEAD
    fs.addFolder("/M/B/x/objects");
    fs.addFolder("/M/B/x/refs");
    fs.addFile("/M/C/y/etc/os-release", 0); // an installation
    fs.addFolder("/M/C/y/var");
    fs.addFile("/M/D/z/PG_VERSION", 0); // a database
    fs.addFolder("/M/E/sub");
    EXPECT_EQ(
        deleteAll("/M", {"/M/A", "/M/B", "/M/C", "/M/D", "/M/E"}),
        (Lines{"/M/A was not deleted: it is no longer empty.", "/M/B was not deleted: it is no longer empty.",
               "/M/C was not deleted: it is no longer empty.", "/M/D was not deleted: it is no longer empty.",
               "/M/E has been deleted."}));
    for (const char* kept : {"/M/A/.git", "/M/B/x/HEAD", "/M/C/y/var", "/M/D/z/PG_VERSION"})
        EXPECT_TRUE(fs.exists(kept)) << kept;
}

namespace {

// A home folder holding what real programs keep in empty folders, beside
// folders that are plainly empty.
void addProgramsHome(MemoryFileSystem& fs) {
    for (const char* box : {"/h/Mail/Drafts", "/h/Maildir", "/h/Maildir/.Sent"})
        for (const char* part : {"/cur", "/new", "/tmp"})
            fs.addFolder(std::string(box) + part);
    fs.addFolder("/h/Mail/empty");
    fs.addFolder("/h/Sync/.stfolder");
    fs.addFolder("/h/Sync/empty");
    fs.addFolder("/h/.gnupg/private-keys-v1.d");
    fs.addFile("/h/src/.pc/.version", 2);
    fs.addFolder("/h/src/.pc/wip.patch");
    fs.addFolder("/h/src/pc/wip.patch"); // not quilt's: no .version
    fs.addFile("/h/svn/repo/format", 2);
    fs.addFolder("/h/svn/repo/db/transactions");
    fs.failOn("/h/svn/repo/db", Step::List); // sealed: never read
    fs.addFile("/h/ostree/repo/config", 40);
    for (const char* inside : {"objects", "refs/remotes", "refs/mirrors", "state", "tmp"})
        fs.addFolder(std::string("/h/ostree/repo/") + inside);
    fs.addFile("/h/cs/storage/storage.lock", 0);
    fs.addFolder("/h/cs/storage/vfs-layers");
    fs.addFolder("/h/cs/storage/vfs-containers/c1/userdata/shm");
    for (const char* inside : {"containers/c1/checkpoints", "image", "volumes/appdata/_data"})
        fs.addFolder(std::string("/h/docker/") + inside);
    fs.addFolder("/h/pg/fast/PG_15_202209061");
    fs.addFolder("/h/pg/slow/PG_15_x"); // not a tablespace's name
    fs.addFolder("/h/app/.git/refs");
    fs.addTextFile("/h/app/.gitmodules", "[submodule \"lib\"]\n\tpath = vendor/lib\n");
    fs.addFolder("/h/app/vendor/lib");
    fs.addFolder("/h/app/vendor/other");
    fs.addFile("/h/proj/data/raw/.gitkeep", 0);
    fs.addFolder("/h/proj/data/empty");
    fs.addFile("/h/py/src/shop/__init__.py", 0);
    fs.addFile("/h/py/src/shop/orders/__init__.py", 0);
    fs.addFile("/h/w/x/zero", 0); // a zero-byte file that means nothing
    fs.addFolder("/h/empty");
}

} // namespace

TEST(KeptFolders, ProgramsStateInEmptyFoldersIsKeptAndEverythingElseListedAsBefore) {
    MemoryFileSystem fs;
    addProgramsHome(fs);
    const Outcome outcome = scanned(fs, "/h");
    EXPECT_EQ(outcome.stoppedAt, "");
    EXPECT_EQ(outcome.found, (Lines{"/h/Mail/empty", "/h/Sync/empty", "/h/app/vendor/other", "/h/empty",
                                    "/h/pg/slow", "/h/pg/slow/PG_15_x", "/h/proj/data/empty", "/h/src/pc",
                                    "/h/src/pc/wip.patch", "/h/w"}));
    EXPECT_EQ(outcome.kept, (Lines{
                                "/h/.gnupg/private-keys-v1.d: GnuPG needs it",
                                "/h/Mail/Drafts: it is a mail folder (Maildir)",
                                "/h/Maildir: it is a mail folder (Maildir)",
                                "/h/Sync/.stfolder: Syncthing needs it",
                                "/h/app/.git: it is part of a git repository",
                                "/h/app/vendor/lib: it is a git submodule (/h/app/.gitmodules)",
                                "/h/cs/storage: it holds containers' storage",
                                "/h/docker: it holds containers' storage",
                                "/h/ostree/repo: it is part of an OSTree repository",
                                "/h/pg/fast: it is part of a PostgreSQL database",
                                "/h/src/.pc: quilt needs it",
                                "/h/svn/repo: it is part of a Subversion repository",
                            }));

    // The same tree on a file system that doesn't say what its entries are.
    fs.reportUnknownTypes(true);
    EXPECT_EQ(scanned(fs, "/h"), outcome);
}

TEST(KeptFolders, AMainFolderInsideEachNewSealedKindListsNothing) {
    MemoryFileSystem fs;
    addProgramsHome(fs);
    const std::pair<const char*, const char*> sealed[] = {
        {"/h/Maildir/.Sent", "/h/Maildir/.Sent: it is a mail folder (Maildir)"},
        {"/h/Maildir/.Sent/new", "/h/Maildir/.Sent/new: it is a mail folder (Maildir)"},
        {"/h/Sync/.stfolder", "/h/Sync/.stfolder: Syncthing needs it"},
        {"/h/.gnupg/private-keys-v1.d", "/h/.gnupg/private-keys-v1.d: GnuPG needs it"},
        {"/h/src/.pc/wip.patch", "/h/src/.pc/wip.patch: quilt needs it"},
        {"/h/svn/repo/db", "/h/svn/repo/db: it is part of a Subversion repository"},
        {"/h/ostree/repo/refs", "/h/ostree/repo/refs: it is part of an OSTree repository"},
        {"/h/cs/storage/vfs-containers", "/h/cs/storage/vfs-containers: it holds containers' storage"},
        {"/h/docker/volumes/appdata", "/h/docker/volumes/appdata: it holds containers' storage"},
        {"/h/pg/fast", "/h/pg/fast: it is part of a PostgreSQL database"},
        {"/h/pg/fast/PG_15_202209061", "/h/pg/fast/PG_15_202209061: it is part of a PostgreSQL database"},
    };
    for (const auto& [main, reason] : sealed) {
        const Outcome outcome = scanned(fs, main);
        EXPECT_EQ(outcome.mainFolderKept, reason);
        EXPECT_EQ(outcome.found, Lines{}) << main;
    }
    // A submodule is kept alone: empty folders inside it are listed.
    fs.addFolder("/h/app/vendor/lib/e");
    EXPECT_EQ(scanned(fs, "/h/app/vendor").found, (Lines{"/h/app/vendor/lib/e", "/h/app/vendor/other"}));
    EXPECT_EQ(scanned(fs, "/h/app/vendor").kept,
              (Lines{"/h/app/vendor/lib: it is a git submodule (/h/app/.gitmodules)"}));

    // A folder above that can't be listed is judged by the names it can be
    // asked for: a Docker root by its folders' names, but not a tablespace,
    // which only a listing shows.
    fs.failOn("/h/docker/volumes", Step::List);
    fs.failOn("/h/pg/fast", Step::List);
    EXPECT_EQ(scanned(fs, "/h/docker/volumes/appdata").mainFolderKept,
              "/h/docker/volumes/appdata: it holds containers' storage");
    const Outcome unreadAbove = scanned(fs, "/h/pg/fast/PG_15_202209061");
    EXPECT_EQ(unreadAbove.mainFolderKept, "");
    EXPECT_EQ(unreadAbove.stoppedAt, "");
}

TEST_F(KeptRemoval, ProgramsStateAndMarkerFilesAreNeverRemoved) {
    addProgramsHome(fs);
    fs.addFolder("/h/gained/x");
    const std::pair<const char*, const char*> entries[] = {
        {"/h/Mail/Drafts", " was not deleted: it is a mail folder (Maildir)."},
        {"/h/Mail/Drafts/new", " was not deleted: it is a mail folder (Maildir)."},
        {"/h/Sync/.stfolder", " was not deleted: Syncthing needs it."},
        {"/h/.gnupg/private-keys-v1.d", " was not deleted: GnuPG needs it."},
        {"/h/src/.pc/wip.patch", " was not deleted: quilt needs it."},
        {"/h/svn/repo/db/transactions", " was not deleted: it is part of a Subversion repository."},
        {"/h/ostree/repo/refs/remotes", " was not deleted: it is part of an OSTree repository."},
        {"/h/cs/storage/vfs-containers/c1/userdata/shm", " was not deleted: it holds containers' storage."},
        {"/h/docker/volumes/appdata/_data", " was not deleted: it holds containers' storage."},
        {"/h/pg/fast", " was not deleted: it is part of a PostgreSQL database."},
        {"/h/app/vendor/lib", " was not deleted: it is a git submodule (/h/app/.gitmodules)."},
        {"/h/app/vendor", " was not deleted: it is no longer empty."},
        {"/h/proj/data", " was not deleted: it is no longer empty."},
        {"/h/py/src", " was not deleted: it is no longer empty."},
        {"/h/gained", " was not deleted: it is no longer empty."},
        {"/h/w", " has been deleted."},
    };
    fs.addFile("/h/gained/x/.keep", 0); // made since the scan
    Lines paths;
    Lines expectedLog;
    for (const auto& [path, line] : entries) {
        paths.push_back(path);
        expectedLog.push_back(path + std::string(line));
    }
    EXPECT_EQ(deleteAll("/h", paths), expectedLog);
    for (const char* kept : {"/h/Mail/Drafts/new", "/h/Sync/.stfolder", "/h/.gnupg/private-keys-v1.d",
                             "/h/src/.pc/wip.patch", "/h/svn/repo/db/transactions", "/h/ostree/repo/refs/remotes",
                             "/h/cs/storage/vfs-containers/c1/userdata/shm", "/h/docker/volumes/appdata/_data",
                             "/h/pg/fast/PG_15_202209061", "/h/app/vendor/lib", "/h/proj/data/raw/.gitkeep",
                             "/h/py/src/shop/orders/__init__.py", "/h/gained/x/.keep"})
        EXPECT_TRUE(fs.exists(kept)) << kept;
    EXPECT_FALSE(fs.exists("/h/w"));
}

namespace {

// Trees that programs make with empty folders in them by design, each
// beside a near miss that is scanned as any folder.
void addVersionedAndProgramTrees(MemoryFileSystem& fs, const std::string& root = "/M") {
    fs.addFile(root + "/wc/.svn/wc.db", 4096);
    fs.addFolder(root + "/wc/build");
    fs.addFolder(root + "/wc/docs/drafts");
    fs.addFolder(root + "/old/.svn/text-base"); // Subversion before 1.7: a .svn in every folder
    fs.addFolder(root + "/old/docs");
    fs.addFolder(root + "/bzr/.bzr/checkout");
    fs.addFolder(root + "/bzr/e");
    fs.addFolder(root + "/branch/.bzr/branch"); // no working tree
    fs.addFolder(root + "/branch/e");
    fs.addFile(root + "/darcs/_darcs/hashed_inventory", 0);
    fs.addFolder(root + "/darcs/e");
    fs.addFile(root + "/wine/system.reg", 900);
    fs.addFile(root + "/wine/user.reg", 300);
    fs.addFolder(root + "/wine/drive_c/users/root/Temp");
    fs.addFolder(root + "/wine/drive_c/windows/temp");
    fs.addFile(root + "/cm/CMakeCache.txt", 20000);
    fs.addFolder(root + "/cm/CMakeFiles/util.dir/lib");
    fs.addFolder(root + "/cmlike/CMakeFiles/e"); // no CMakeCache.txt
    fs.addFolder(root + "/squid"); // as squid -z leaves it: no swap.state yet
    fs.addFile(root + "/nearly/swap.state", 0);
    const char* const hex = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        fs.addFolder(std::string(root + "/squid/0") + hex[i] + "/00");
        if (i < 15)
            fs.addFolder(std::string(root + "/nearly/0") + hex[i]);
    }
}

} // namespace

TEST(KeptFolders, WorkTreesThatVersionFoldersAndProgramsTreesAreSealedByWhatTheyHold) {
    MemoryFileSystem fs;
    addVersionedAndProgramTrees(fs);
    const Outcome outcome = scanned(fs, "/M");
    EXPECT_EQ(outcome.stoppedAt, "");
    Lines nearlySquid;
    for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E"})
        nearlySquid.push_back(std::string("/M/nearly/0") + digit);
    Lines expected{"/M/branch/e", "/M/cmlike", "/M/cmlike/CMakeFiles", "/M/cmlike/CMakeFiles/e"};
    expected.insert(expected.end(), nearlySquid.begin(), nearlySquid.end());
    expected.push_back("/M/old/docs");
    EXPECT_EQ(outcome.found, expected);
    EXPECT_EQ(outcome.kept, (Lines{
                                "/M/branch/.bzr: it is part of a Bazaar repository",
                                "/M/bzr: it is versioned by Bazaar",
                                "/M/cm: it is a CMake build tree",
                                "/M/darcs: it is versioned by darcs",
                                "/M/old/.svn: it is part of a Subversion working copy",
                                "/M/squid: Squid needs it",
                                "/M/wc: it is versioned by Subversion",
                                "/M/wine: Wine needs it",
                            }));

    const std::pair<const char*, const char*> inside[] = {
        {"/M/wc/docs", "it is versioned by Subversion"},
        {"/M/wine/drive_c/users", "Wine needs it"},
        {"/M/cm/CMakeFiles/util.dir", "it is a CMake build tree"},
        {"/M/squid/00", "Squid needs it"},
    };
    for (const auto& [main, reason] : inside) {
        const Outcome within = scanned(fs, main);
        EXPECT_EQ(within.mainFolderKept, main + std::string(": ") + reason);
        EXPECT_EQ(within.found, Lines{}) << main;
    }
}

TEST_F(KeptRemoval, WorkTreesAndProgramsTreesAreNeverRemoved) {
    addVersionedAndProgramTrees(fs);
    const std::pair<const char*, const char*> entries[] = {
        {"/M/wc/docs/drafts", " was not deleted: it is versioned by Subversion."},
        {"/M/wc", " was not deleted: it is versioned by Subversion."},
        {"/M/bzr/e", " was not deleted: it is versioned by Bazaar."},
        {"/M/darcs/e", " was not deleted: it is versioned by darcs."},
        {"/M/wine/drive_c/windows/temp", " was not deleted: Wine needs it."},
        {"/M/cm/CMakeFiles/util.dir/lib", " was not deleted: it is a CMake build tree."},
        {"/M/squid/0F/00", " was not deleted: Squid needs it."},
        {"/M/old/docs", " has been deleted."},
    };
    Lines paths;
    Lines expectedLog;
    for (const auto& [path, line] : entries) {
        paths.push_back(path);
        expectedLog.push_back(path + std::string(line));
    }
    EXPECT_EQ(deleteAll("/M", paths), expectedLog);
    for (const char* kept : {"/M/wc/docs/drafts", "/M/bzr/e", "/M/darcs/e", "/M/wine/drive_c/windows/temp",
                             "/M/cm/CMakeFiles/util.dir/lib", "/M/squid/0F/00"})
        EXPECT_TRUE(fs.exists(kept)) << kept;
}

namespace {

// Homes of every kind, each with a program's hidden folder in it, beside a
// hidden folder in a folder that is no home.
void addHomes(MemoryFileSystem& fs) {
    fs.addTextFile("/etc/os-release", "ID=debian\n");
    fs.addTextFile("/etc/passwd", "root:x:0:0:root:/root:/bin/bash\n"
                                  "alice:x:1000:1000:Alice,,,:/data/alice/:/bin/bash\n");
    fs.addFolder("/root/.cache/pip");       // named in etc/passwd
    fs.addFolder("/data/alice/.ssh/cm");     // named there too, outside the system's home
    fs.addFolder("/data/alice/projects/e");  // not hidden: scanned as usual
    fs.addFolder("/home/bob/.vim/swap");    // directly in the system's home
    fs.addOther("/backup/carol/.bashrc");   // a link, as dotfile managers make
    fs.addFolder("/backup/carol/.local/state");
    fs.addFolder("/backup/dave/.config");   // a .config folder makes a home
    fs.addFolder("/backup/dave/.emacs.d/auto-save-list");
    fs.addFolder("/work/me/.mozilla");      // the home of the user who scans
    fs.addFolder("/work/other/.hidden/e");  // no home: listed as before
    fs.addFile("/work/other/.config", 0);   // a file named .config makes no home
}

} // namespace

TEST(KeptFolders, HiddenFoldersDirectlyInAHomeAreProgramsAndSealed) {
    MemoryFileSystem fs;
    addHomes(fs);
    const Outcome outcome = scanned(fs, "/", "/work/me");
    EXPECT_EQ(outcome.stoppedAt, "");
    EXPECT_EQ(outcome.found, (Lines{"/data/alice/projects", "/data/alice/projects/e", "/work/other/.hidden",
                                    "/work/other/.hidden/e"}));
    const Lines programs = {"/backup/carol/.local", "/backup/dave/.config", "/backup/dave/.emacs.d",
                            "/home/bob/.vim",       "/root/.cache",         "/data/alice/.ssh",
                            "/work/me/.mozilla"};
    for (const std::string& folder : programs)
        EXPECT_NE(std::find(outcome.kept.begin(), outcome.kept.end(),
                            folder + ": programs keep their state in it"),
                  outcome.kept.end())
            << folder;

    // Beneath the main folder only: opened on purpose, a hidden folder is
    // scanned as any other.
    EXPECT_EQ(scanned(fs, "/home/bob/.vim").found, (Lines{"/home/bob/.vim/swap"}));
    EXPECT_EQ(scanned(fs, "/home/bob/.vim").mainFolderKept, "");
    // A home is known from above too: the main folder, or its parent.
    EXPECT_EQ(scanned(fs, "/home/bob").found, Lines{});
    EXPECT_EQ(scanned(fs, "/home").found, Lines{});
    EXPECT_EQ(scanned(fs, "/work/me", "/work/me").found, Lines{});
    EXPECT_EQ(scanned(fs, "/work/me", std::nullopt).found, (Lines{"/work/me/.mozilla"}));
    EXPECT_EQ(scanned(fs, "/data").found, (Lines{"/data/alice/projects", "/data/alice/projects/e"}));
}

TEST_F(KeptRemoval, AProgramsHiddenFolderInAHomeIsNeverRemoved) {
    addHomes(fs);
    EXPECT_EQ(deleteAll("/home/bob", {"/home/bob/.vim/swap", "/home/bob/.vim"}),
              (Lines{"/home/bob/.vim/swap was not deleted: programs keep their state in it.",
                     "/home/bob/.vim was not deleted: programs keep their state in it."}));
    List1.Clear();
    List2.Clear();
    EXPECT_EQ(deleteAll("/backup", {"/backup/carol/.local/state", "/backup/dave"}),
              (Lines{"/backup/carol/.local/state was not deleted: programs keep their state in it.",
                     "/backup/dave was not deleted: it is no longer empty."}));
    for (const char* kept : {"/home/bob/.vim/swap", "/backup/carol/.local/state", "/backup/dave/.config"})
        EXPECT_TRUE(fs.exists(kept)) << kept;
    // Opened on purpose, the hidden folder is the user's to clean.
    List1.Clear();
    EXPECT_EQ(deleteAll("/home/bob/.vim", {"/home/bob/.vim/swap"}).back(), "/home/bob/.vim/swap has been deleted.");
}

namespace {

// Folders that configuration files name: the system's, the user's home's,
// and those of a home and a system found in the tree, beside paths that
// files too large, binary or out of reach name.
void addConfigured(MemoryFileSystem& fs) {
    fs.addTextFile("/etc/os-release", "ID=debian\n");
    fs.addTextFile("/etc/samba/smb.conf", "[shared]\n\tpath = /data/shared\n");
    fs.addTextFile("/etc/rsnapshot.conf", "#snapshot_root\t/data/snap/\n");
    fs.addTextFile("/etc/big.conf", "dir /data/big\n" + std::string(std::size_t{1} << 20, '#'));
    fs.addTextFile("/etc/bin.db", std::string("\0/data/binary\n", 14));
    fs.addTextFile("/work/me/.ssh/config", "Host *\n  ControlPath ~/.ssh/cm/%C\n");
    fs.addTextFile("/work/me/.config/libvirt/storage/isos.xml", "<path>/data/VMs/isos</path>\n");
    fs.addTextFile("/work/me/.config/a/b/c/d/deep.conf", "/data/deep\n"); // five names below .config
    fs.addTextFile("/work/me/.cache/x.conf", "/data/cached\n");
    fs.addTextFile("/data/backup/carol/.profile", "export KEEP=$HOME/keepme\n");
    fs.addTextFile("/data/chroot/etc/os-release", "ID=debian\n");
    fs.addTextFile("/data/chroot/etc/exports", "/pool/export *(rw)\n");
    for (const char* folder : {"/data/shared", "/data/snap", "/data/big", "/data/binary", "/data/VMs/isos/old",
                               "/data/deep", "/data/cached", "/data/backup/carol/keepme",
                               "/data/chroot/pool/export", "/work/me/.ssh/cm"})
        fs.addFolder(folder);
}

} // namespace

TEST(KeptFolders, FoldersThatAConfigurationFileNamesAreKeptAlone) {
    MemoryFileSystem fs;
    addConfigured(fs);
    const Outcome outcome = scanned(fs, "/data", "/work/me");
    EXPECT_EQ(outcome.stoppedAt, "");
    EXPECT_EQ(outcome.found,
              (Lines{"/data/VMs/isos/old", "/data/big", "/data/binary", "/data/cached", "/data/deep"}));
    EXPECT_EQ(outcome.kept, (Lines{
                                "/data/VMs/isos: it is named in /work/me/.config/libvirt/storage/isos.xml",
                                "/data/backup/carol/keepme: it is named in /data/backup/carol/.profile",
                                "/data/chroot/etc: the system needs it",
                                "/data/chroot/pool/export: it is named in /data/chroot/etc/exports",
                                "/data/shared: it is named in /etc/samba/smb.conf",
                                "/data/snap: it is named in /etc/rsnapshot.conf",
                            }));
    // Opened on purpose, a hidden folder is scanned, and its home's
    // configuration counts there too.
    EXPECT_EQ(scanned(fs, "/work/me/.ssh", "/work/me").kept,
              (Lines{"/work/me/.ssh/cm: it is named in /work/me/.ssh/config"}));
    EXPECT_EQ(scanned(fs, "/work/me/.ssh", "/work/me").found, Lines{});

    // Configuration that can't be read names nothing, and stops nothing.
    fs.failOn("/etc/samba/smb.conf", Step::Open);
    fs.failOn("/work/me/.config", Step::List);
    const Outcome unread = scanned(fs, "/data", "/work/me");
    EXPECT_EQ(unread.stoppedAt, "");
    EXPECT_EQ(unread.found, (Lines{"/data/VMs", "/data/VMs/isos", "/data/VMs/isos/old", "/data/big", "/data/binary",
                                   "/data/cached", "/data/deep", "/data/shared"}));
}

TEST(KeptFolders, AScanReadsAtMostItsShareOfConfigurationAndSaysSo) {
    MemoryFileSystem fs;
    fs.addTextFile("/etc/os-release", "ID=debian\n");
    for (int i = 0; i < 4001; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/etc/many/%04d.conf", i);
        fs.addTextFile(name, "/M/named" + std::to_string(i) + "\n");
    }
    fs.addFolder("/M/named3998");
    fs.addFolder("/M/named4000");
    const auto run = [&fs](bool readConfiguration) {
        cleaner::EmptyFolderScan scan(fs, "/M");
        scan.setUserHome(std::nullopt);
        scan.setReadConfiguration(readConfiguration);
        Lines found;
        const cleaner::ScanOutcome outcome = scan.run([&found](std::vector<std::string>&& batch) {
            found.insert(found.end(), batch.begin(), batch.end());
        });
        return std::pair(found, outcome.configurationCut);
    };
    // os-release is the first of 4,000 files: the 4,001st is not read.
    EXPECT_EQ(run(true), std::pair(Lines{"/M/named4000"}, true));
    EXPECT_EQ(run(false), std::pair((Lines{"/M/named3998", "/M/named4000"}), false));
}

TEST_F(KeptRemoval, AFolderThatAConfigurationFileNamesIsNeverRemoved) {
    addConfigured(fs);
    EXPECT_EQ(deleteAll("/data", {"/data/shared", "/data/chroot/pool/export", "/data/backup/carol/keepme",
                                  "/data/deep"}),
              (Lines{"/data/shared was not deleted: it is named in /etc/samba/smb.conf.",
                     "/data/chroot/pool/export was not deleted: it is named in /data/chroot/etc/exports.",
                     "/data/backup/carol/keepme was not deleted: it is named in /data/backup/carol/.profile.",
                     "/data/deep has been deleted."}));
    EXPECT_TRUE(fs.exists("/data/shared") && fs.exists("/data/chroot/pool/export"));
}

// One home holding every kind, as a user's home does: nothing a program
// needs is listed, with any number of threads, and the near misses are.
TEST(KeptFolders, AHomeHoldingEveryKindListsOnlyWhatNoProgramNeeds) {
    MemoryFileSystem fs;
    addVersionedAndProgramTrees(fs, "/h");
    fs.addTextFile("/h/.profile", "# a home\n");
    fs.addFolder("/h/.vim/swap");
    fs.addTextFile("/h/.ssh/config", "ControlPath ~/sockets/%C\n");
    fs.addFolder("/h/sockets");
    fs.addFolder("/h/Maildir/cur");
    fs.addFolder("/h/Maildir/new");
    fs.addFolder("/h/Maildir/tmp");
    const Outcome outcome = scanned(fs, "/h");
    Lines expected{"/h/branch/e", "/h/cmlike", "/h/cmlike/CMakeFiles", "/h/cmlike/CMakeFiles/e"};
    for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E"})
        expected.push_back(std::string("/h/nearly/0") + digit);
    expected.push_back("/h/old/docs");
    EXPECT_EQ(outcome.found, expected);
    EXPECT_EQ(outcome.kept, (Lines{
                                "/h/.ssh: programs keep their state in it",
                                "/h/.vim: programs keep their state in it",
                                "/h/Maildir: it is a mail folder (Maildir)",
                                "/h/branch/.bzr: it is part of a Bazaar repository",
                                "/h/bzr: it is versioned by Bazaar",
                                "/h/cm: it is a CMake build tree",
                                "/h/darcs: it is versioned by darcs",
                                "/h/old/.svn: it is part of a Subversion working copy",
                                "/h/sockets: it is named in /h/.ssh/config",
                                "/h/squid: Squid needs it",
                                "/h/wc: it is versioned by Subversion",
                                "/h/wine: Wine needs it",
                            }));
}
