// SPDX-License-Identifier: GPL-3.0-or-later
// The keep rule on its own: which folder stays and why, and how fstab and
// user-dirs.dirs are read.
#include "cleaner/keep_rule.h"

#include <gtest/gtest.h>

using cleaner::DesktopFolder;
using cleaner::EntryMarks;
using cleaner::FolderFacts;
using cleaner::KeepReason;
namespace marks = cleaner::marks;

namespace cleaner {
void PrintTo(const DesktopFolder& folder, std::ostream* out) {
    *out << folder.variable << " -> " << folder.relativePath;
}
} // namespace cleaner

namespace {

const FolderFacts kPlain{};
FolderFacts facts(bool systemRoot, bool fileSystemRoot, bool home = false) {
    FolderFacts made;
    made.systemRoot = systemRoot;
    made.fileSystemRoot = fileSystemRoot;
    made.home = home;
    return made;
}
const FolderFacts kSystemRoot = facts(true, false);
const FolderFacts kFileSystemRoot = facts(false, true);
const FolderFacts kHome = facts(false, false, true);

// The first rule that holds, as the scan asks them: by name, by content,
// by place.
std::string verdict(std::string_view name, const FolderFacts& parent, EntryMarks own) {
    auto reason = cleaner::keptByName(name, parent);
    if (!reason)
        reason = cleaner::keptByContent(name, own);
    if (!reason)
        reason = cleaner::keptByPlace(name, parent);
    if (!reason)
        return "-";
    return reason->text() + (reason->seals() ? " (sealed)" : " (alone)");
}

} // namespace

TEST(KeepRule, EachRuleGivesItsReasonAndTheFirstThatHoldsWins) {
    const EntryMarks bareGit = marks::HeadFile | marks::ObjectsFolder | marks::RefsFolder;
    const EntryMarks maildir = marks::CurFolder | marks::NewFolder | marks::TmpFolder;
    const EntryMarks ostree = marks::ConfigFile | marks::ObjectsFolder | marks::RefsFolder;
    const EntryMarks docker = marks::ContainersFolder | marks::ImageFolder | marks::VolumesFolder;
    const EntryMarks wine = marks::SystemRegFile | marks::UserRegFile | marks::DriveCFolder;
    struct Case {
        const char* name;
        FolderFacts parent;
        EntryMarks own;
        const char* expected;
    };
    const Case cases[] = {
        {"lost+found", kFileSystemRoot, 0, "the file system keeps it for repairs (sealed)"},
        {"lost+found", facts(true, true), 0, "the file system keeps it for repairs (sealed)"},
        {"lost+found", kSystemRoot, 0, "the system needs it (sealed)"},
        {"lost+found", kPlain, 0, "-"},
        {"var", kSystemRoot, bareGit, "the system needs it (sealed)"},
        {"usr", kSystemRoot, 0, "the system needs it (sealed)"},
        {"libx32", kSystemRoot, 0, "the system needs it (sealed)"},
        {"var", kPlain, 0, "-"},
        {"var", kFileSystemRoot, 0, "-"},
        {".git", kPlain, 0, "it is part of a git repository (sealed)"},
        {".hg", kSystemRoot, 0, "it is part of a Mercurial repository (sealed)"},
        {".svn", kPlain, 0, "it is part of a Subversion working copy (sealed)"},
        {".bzr", kPlain, 0, "it is part of a Bazaar repository (sealed)"},
        {".GIT", kPlain, 0, "-"},
        {"home", kSystemRoot, bareGit, "it is part of a git repository (sealed)"},
        {"any", kPlain, bareGit | marks::Etc, "it is part of a git repository (sealed)"},
        {"any", kPlain, marks::HeadFile | marks::ObjectsFolder, "-"},
        {"any", kPlain, marks::PgVersionFile, "it is part of a PostgreSQL database (sealed)"},
        {"tmp", kSystemRoot, marks::PgVersionFile, "it is part of a PostgreSQL database (sealed)"},
        {"home", kSystemRoot, 0, "the system needs it (alone)"},
        {"tmp", kSystemRoot, 0, "the system needs it (alone)"},
        {"media", kSystemRoot, 0, "the system needs it (alone)"},
        {"home", kFileSystemRoot, 0, "-"},
        {"Home", kSystemRoot, 0, "-"},
        {".stfolder", kPlain, maildir, "Syncthing needs it (sealed)"},
        {"private-keys-v1.d", kPlain, 0, "GnuPG needs it (sealed)"},
        {".pc", kPlain, marks::VersionFile, "quilt needs it (sealed)"},
        {"pc", kPlain, marks::VersionFile, "-"},
        {".pc", kPlain, 0, "-"},
        {"INBOX", kPlain, maildir, "it is a mail folder (Maildir) (sealed)"},
        {"tmp", kSystemRoot, maildir, "it is a mail folder (Maildir) (sealed)"},
        {"INBOX", kPlain, marks::CurFolder | marks::NewFolder, "-"},
        {"repo", kPlain, marks::FormatFile | marks::DbFolder, "it is part of a Subversion repository (sealed)"},
        {"repo", kPlain, marks::FormatFile, "-"},
        {"repo", kPlain, ostree, "it is part of an OSTree repository (sealed)"},
        {"repo", kPlain, ostree | marks::HeadFile, "it is part of a git repository (sealed)"},
        {"repo", kPlain, marks::ConfigFile | marks::ObjectsFolder, "-"},
        {"storage", kPlain, marks::StorageLockFile | marks::LayersFolder, "it holds containers' storage (sealed)"},
        {"storage", kPlain, marks::StorageLockFile, "-"},
        {"storage", kPlain, marks::LayersFolder, "-"},
        {"docker", kPlain, docker, "it holds containers' storage (sealed)"},
        {"docker", kPlain, marks::ContainersFolder | marks::ImageFolder, "-"},
        {"fast", kPlain, marks::TablespaceFolder, "it is part of a PostgreSQL database (sealed)"},
        {".vim", kHome, 0, "programs keep their state in it (sealed)"},
        {".Trash-1000", kPlain, 0, "it is the desktop's Trash (sealed)"},
        {".Trash-1000", kHome, 0, "it is the desktop's Trash (sealed)"},
        {".Trash", kFileSystemRoot, 0, "it is the desktop's Trash (sealed)"},
        {".Trash-", kPlain, 0, "-"},
        {".Trash-10x", kPlain, 0, "-"},
        {"Trash", kPlain, marks::FilesFolder | marks::InfoFolder, "it is the desktop's Trash (sealed)"},
        {"Trash", kPlain, marks::FilesFolder, "-"},
        {"Bin", kPlain, marks::FilesFolder | marks::InfoFolder, "-"},
        {".git", kHome, 0, "it is part of a git repository (sealed)"},
        {".stfolder", kHome, 0, "Syncthing needs it (sealed)"},
        {".vim", kPlain, 0, "-"},
        {"vim", kHome, 0, "-"},
        {"wc", kPlain, marks::SvnFolder | marks::SvnWorkTree, "it is versioned by Subversion (sealed)"},
        {"wc", kPlain, marks::SvnFolder, "-"}, // a .svn without wc.db: Subversion before 1.7, or not its
        {"wc", kPlain, marks::BzrFolder | marks::BzrWorkTree, "it is versioned by Bazaar (sealed)"},
        {"wc", kPlain, marks::BzrFolder, "-"}, // a branch without a working tree
        {"wc", kPlain, marks::DarcsFolder | marks::DarcsWorkTree, "it is versioned by darcs (sealed)"},
        {"wc", kPlain, marks::SvnWorkTree | marks::PgVersionFile, "it is part of a PostgreSQL database (sealed)"},
        {"prefix", kPlain, wine, "Wine needs it (sealed)"},
        {"prefix", kPlain, marks::SystemRegFile | marks::UserRegFile, "-"},
        {"build", kPlain, marks::CMakeCacheFile | marks::CMakeFilesFolder, "it is a CMake build tree (sealed)"},
        {"build", kPlain, marks::CMakeFilesFolder, "-"},
        {"cache", kPlain, marks::SquidFolders, "Squid needs it (sealed)"},
        {"cache", kPlain, marks::SquidFolders & ~marks::bit(63), "-"}, // no 0F
    };
    for (const Case& c : cases)
        EXPECT_EQ(verdict(c.name, c.parent, c.own), c.expected) << c.name;

    EXPECT_EQ((KeepReason{cleaner::KeepKind::MountPoint, "/x/etc/fstab"}.text()),
              "it is a mount point in /x/etc/fstab");
    EXPECT_EQ((KeepReason{cleaner::KeepKind::DesktopFolder, "XDG_MUSIC_DIR"}.text()),
              "the desktop uses it (XDG_MUSIC_DIR)");
    EXPECT_EQ((KeepReason{cleaner::KeepKind::GitSubmodule, "/w/.gitmodules"}.text()),
              "it is a git submodule (/w/.gitmodules)");
}

TEST(KeepRule, EntryMarksNoteOnlyWhatTheRuleLooksAt) {
    EntryMarks found = 0;
    cleaner::noteEntry(found, "HEAD", false, false); // a link is not the file
    cleaner::noteEntry(found, "refs", false, false); // nor the folder
    cleaner::noteEntry(found, "objects", false, true);
    cleaner::noteEntry(found, "etc", false, false); // a link counts here
    cleaner::noteEntry(found, "PG_VERSIONS", true, false);
    EXPECT_EQ(found, marks::ObjectsFolder | marks::Etc);

    enum Kind { File, Folder, Link };
    struct Case {
        const char* name;
        Kind kind;
        EntryMarks expected;
    };
    const Case cases[] = {
        {"db", Folder, marks::DbFolder},
        {"db", File, 0},
        {"format", File, marks::FormatFile},
        {"format", Folder, 0},
        {"config", File, marks::ConfigFile},
        {"cur", Link, 0},
        {".git", File, marks::GitEntry},
        {".gitmodules", Link, marks::Gitmodules},
        {"storage.lock", File, marks::StorageLockFile},
        {"overlay-layers", Folder, marks::LayersFolder},
        {"-layers", Folder, marks::LayersFolder},
        {"overlay-layers", File, 0},
        {"overlay-layer", Folder, 0},
        {"PG_15_202209061", Folder, marks::TablespaceFolder},
        {"PG_9.6_201608131", Folder, marks::TablespaceFolder},
        {"PG_15_202209061", File, 0},
        {"PG_15_20220906", Folder, 0},
        {"PG_15_2022090611", Folder, 0},
        {"PG__202209061", Folder, 0},
        {"PG_15-202209061", Folder, 0},
        {"PG_1x_202209061", Folder, 0},
        {"pg_15_202209061", Folder, 0},
        {".svn", Folder, marks::SvnFolder},
        {".svn", Link, 0},
        {"_darcs", Folder, marks::DarcsFolder},
        {"CMakeCache.txt", File, marks::CMakeCacheFile},
        {"drive_c", Folder, marks::DriveCFolder},
        {".bashrc", Link, marks::BashrcEntry}, // dotfiles are often links
        {".profile", File, marks::ProfileEntry},
        {"00", Folder, marks::bit(marks::kFirstSquidFolderBit)},
        {"0F", Folder, marks::bit(marks::kFirstSquidFolderBit + 15)},
        {"0A", File, 0},
        {"0f", Folder, 0},
        {"10", Folder, 0},
    };
    for (const Case& c : cases) {
        EntryMarks one = 0;
        cleaner::noteEntry(one, c.name, c.kind == File, c.kind == Folder);
        EXPECT_EQ(one, c.expected) << c.name;
    }
}

TEST(KeepRule, ZeroByteFilesThatSomethingNeedsAreKnownByTheirExactName) {
    for (const char* marker : {".gitkeep", ".keep", ".gitignore", "__init__.py", "py.typed", ".nomedia"})
        EXPECT_TRUE(cleaner::isMarkerFile(marker)) << marker;
    for (const char* other : {"keep", ".Keep", ".gitkeep~", "__init__.pyc", "x.gitignore", ".gitattributes", ""})
        EXPECT_FALSE(cleaner::isMarkerFile(other)) << other;
}

TEST(KeepRule, GitmodulesGivesThePathsOfSubmoduleSectionsOnly) {
    const std::string gitmodules = "[submodule \"lib\"]\n"
                                   "\tpath = vendor/lib\n"
                                   "\turl = https://example.org/lib.git\n"
                                   "[submodule \"quoted\"]\n"
                                   "  path=\"with space/x\"  # a comment\r\n"
                                   "[submodule \"comment\"]\n"
                                   "path = bare ; with a comment\n"
                                   "path = trailing/  \n"
                                   "  pathx = no\n"
                                   "  Path = no\n"
                                   "  path = \"unclosed\n"
                                   "  path = \"after\" text\n"
                                   "  path = /absolute\n"
                                   "  path = a/../b\n"
                                   "  path = ./c\n"
                                   "  path = \n"
                                   "[core]\n"
                                   "  path = not/a/submodule\n"
                                   "[submodules]\n"
                                   "  path = nor/this\n"
                                   "  [submodule]\n"
                                   "path = nameless\n"
                                   "[submodule\t\"tab\"]\n"
                                   "path = tabbed";
    EXPECT_EQ(cleaner::submodulePathsIn(gitmodules),
              (std::vector<std::string>{"vendor/lib", "with space/x", "bare", "trailing", "nameless", "tabbed"}));
}

TEST(KeepRule, FstabGivesTheSecondFieldOfEachLineDecoded) {
    const std::string fstab = "# /etc/fstab: static file system information.\n"
                              "   # indented comment /not\n"
                              "\n"
                              "UUID=1234 / ext4 errors=remount-ro 0 1\n"
                              "UUID=abcd\t/boot/efi\tvfat umask=0077 0 1\n"
                              "  /dev/sdb1   /srv/My\\040Disk/  auto nofail 0 0\n"
                              "/swapfile none swap sw 0 0\n"
                              "server:/export /mnt/nfs// nfs defaults\n"
                              "/dev/sdc1 relative/place auto 0 0\n"
                              "tmpfs /tmp/back\\134slash tmpfs\n"
                              "lonely";
    EXPECT_EQ(cleaner::mountPointsIn(fstab),
              (std::vector<std::string>{"/boot/efi", "/srv/My Disk", "/mnt/nfs", "/tmp/back\\slash"}));
}

TEST(KeepRule, UserDirsNamesHomeFoldersOnlyByPlainHomeRelativeValues) {
    const std::string userDirs = "# This file is written by xdg-user-dirs-update\n"
                                 "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                 "  \tXDG_MUSIC_DIR \t= \"$HOME/Music/\"  \r\n"
                                 "XDG_DOWNLOAD_DIR=\"$HOME/Desktop\"\n" // named before: the first line wins
                                 "XDG_PICTURES_DIR=\"$HOME/My Pictures\" # mine\n" // a comment after: nothing
                                 "XDG_VIDEOS_DIR=\"/srv/videos\"\n"
                                 "XDG_TEMPLATES_DIR=\"$HOME/\"\n"
                                 "XDG_PUBLICSHARE_DIR=\"$HOME\"\n"
                                 "XDG_A_DIR=\"$HOME/a//b\"\n"
                                 "XDG_B_DIR=\"$HOME/./b\"\n"
                                 "XDG_C_DIR=\"$HOME/../c\"\n"
                                 "XDG_lower_DIR=\"$HOME/lower\"\n"
                                 "XDG_MY_OWN_DIR=\"$HOME/underscore\"\n"
                                 "#XDG_D_DIR=\"$HOME/commented\"\n"
                                 "XDG_DOCUMENTS_DIR=\"${HOME}/Documents\"\n"
                                 "XDG_WORK_DIR=\"$HOME/Work/Projects\"";
    EXPECT_EQ(cleaner::desktopFoldersIn(userDirs),
              (std::vector<DesktopFolder>{{"Desktop", "XDG_DESKTOP_DIR"},
                                          {"Music", "XDG_MUSIC_DIR"},
                                          {"Work/Projects", "XDG_WORK_DIR"}}));
}

TEST(KeepRule, TheNearestFileDecidesAndMountPointsGoBeforeDesktopFolders) {
    cleaner::NamedFolders named;
    named.add("/", -2, cleaner::NamedInside{{"/home/u/Music", "/data"}, {}, {}});
    named.add("/home/u", -1,
              cleaner::NamedInside{{}, {{"Music", "XDG_MUSIC_DIR"}, {"Videos", "XDG_VIDEOS_DIR"}}, {}});
    named.add("/home/u/M", 0, cleaner::NamedInside{{}, {{"A", "XDG_A_DIR"}}, {}});
    named.add("/home/u/M/X", 2, cleaner::NamedInside{{}, {{"B", "XDG_B_DIR"}}, {}});
    named.add("/home/u/M", 0, cleaner::NamedInside{{}, {{"X/B", "XDG_FAR_DIR"}}, {"A"}});

    const auto textOf = [&named](const std::string& path) {
        const auto reason = named.find(path);
        return reason ? reason->text() : "-";
    };
    EXPECT_EQ(textOf("/home/u/Music"), "it is a mount point in /etc/fstab");
    EXPECT_EQ(textOf("/home/u/Videos"), "the desktop uses it (XDG_VIDEOS_DIR)");
    EXPECT_EQ(textOf("/home/u/M/A"), "the desktop uses it (XDG_A_DIR)");
    EXPECT_EQ(textOf("/home/u/M/X/B"), "the desktop uses it (XDG_B_DIR)");
    EXPECT_EQ(textOf("/data"), "it is a mount point in /etc/fstab");
    EXPECT_EQ(textOf("/data/x"), "-");
    EXPECT_EQ(textOf("/dat"), "-");
    EXPECT_EQ(textOf("/home/u/M/A"), "the desktop uses it (XDG_A_DIR)") << "a desktop folder before a submodule";
}

// Which folders are homes: those an etc/passwd names, those directly in a
// system's home, and those holding what a home holds.
TEST(KeepRule, HomesAreKnownFromPasswdFromTheirPlaceAndFromWhatTheyHold) {
    EXPECT_EQ(cleaner::homesIn("root:x:0:0:root:/root:/bin/bash\n"
                               "u:x:1000:1000:U,,,:/home/u/:/bin/bash\n"
                               "top:x:2:2::/:/usr/sbin/nologin\n"
                               "short:x:3:3\n"
                               "rel:x:4:4::relative:/bin/sh\n"
                               "up:x:5:5::/home/../etc:/bin/sh\n"
                               "empty:x:6:6:::/bin/sh"),
              (cleaner::HomePaths{"root", "home/u", ""}));

    FolderFacts root = kSystemRoot;
    root.homesBeneath = std::make_shared<const cleaner::HomePaths>(cleaner::HomePaths{"root", "data/alice", ""});
    const FolderFacts home = cleaner::inheritedFacts(root, "home");
    EXPECT_TRUE(home.holdsHomes && !home.home);
    EXPECT_TRUE(cleaner::inheritedFacts(home, "bob").home) << "directly in a system's home";
    EXPECT_FALSE(cleaner::inheritedFacts(cleaner::inheritedFacts(home, "bob"), "sub").home);
    EXPECT_TRUE(cleaner::inheritedFacts(root, "root").home);
    const FolderFacts data = cleaner::inheritedFacts(root, "data");
    EXPECT_FALSE(data.home || data.holdsHomes);
    EXPECT_TRUE(cleaner::inheritedFacts(data, "alice").home);
    EXPECT_FALSE(cleaner::inheritedFacts(data, "alic").home);
    EXPECT_FALSE(cleaner::inheritedFacts(root, "dat").homesBeneath);
    EXPECT_FALSE(cleaner::inheritedFacts(kPlain, "home").holdsHomes) << "only a system's home holds homes";

    EXPECT_TRUE(cleaner::homeByContent(marks::ConfigFolder));
    EXPECT_TRUE(cleaner::homeByContent(marks::BashrcEntry));
    EXPECT_TRUE(cleaner::homeByContent(marks::ProfileEntry));
    EXPECT_FALSE(cleaner::homeByContent(marks::Config)) << "a .config that is no folder";
}
