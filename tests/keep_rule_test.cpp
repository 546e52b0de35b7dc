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

constexpr FolderFacts kPlain{};
constexpr FolderFacts kSystemRoot{0, true, false};
constexpr FolderFacts kFileSystemRoot{0, false, true};

// The first rule that holds, as the scan asks them: by name, by content,
// by place.
std::string verdict(std::string_view name, const FolderFacts& parent, EntryMarks own) {
    auto reason = cleaner::keptByName(name, parent);
    if (!reason)
        reason = cleaner::keptByContent(own);
    if (!reason)
        reason = cleaner::keptByPlace(name, parent);
    if (!reason)
        return "-";
    return reason->text() + (reason->seals() ? " (sealed)" : " (alone)");
}

} // namespace

TEST(KeepRule, EachRuleGivesItsReasonAndTheFirstThatHoldsWins) {
    const EntryMarks bareGit = marks::HeadFile | marks::ObjectsFolder | marks::RefsFolder;
    struct Case {
        const char* name;
        FolderFacts parent;
        EntryMarks own;
        const char* expected;
    };
    const Case cases[] = {
        {"lost+found", kFileSystemRoot, 0, "the file system keeps it for repairs (sealed)"},
        {"lost+found", FolderFacts{0, true, true}, 0, "the file system keeps it for repairs (sealed)"},
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
    };
    for (const Case& c : cases)
        EXPECT_EQ(verdict(c.name, c.parent, c.own), c.expected) << c.name;

    EXPECT_EQ((KeepReason{cleaner::KeepKind::MountPoint, "/x/etc/fstab"}.text()),
              "it is a mount point in /x/etc/fstab");
    EXPECT_EQ((KeepReason{cleaner::KeepKind::DesktopFolder, "XDG_MUSIC_DIR"}.text()),
              "the desktop uses it (XDG_MUSIC_DIR)");
}

TEST(KeepRule, EntryMarksNoteOnlyWhatTheRuleLooksAt) {
    EntryMarks found = 0;
    cleaner::noteEntry(found, "HEAD", false, false); // a link is not the file
    cleaner::noteEntry(found, "refs", false, false); // nor the folder
    cleaner::noteEntry(found, "objects", false, true);
    cleaner::noteEntry(found, "etc", false, false); // a link counts here
    cleaner::noteEntry(found, "PG_VERSIONS", true, false);
    EXPECT_EQ(found, marks::ObjectsFolder | marks::Etc);
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
    named.add("/", -2, cleaner::NamedInside{{"/home/u/Music", "/data"}, {}});
    named.add("/home/u", -1,
              cleaner::NamedInside{{}, {{"Music", "XDG_MUSIC_DIR"}, {"Videos", "XDG_VIDEOS_DIR"}}});
    named.add("/home/u/M", 0, cleaner::NamedInside{{}, {{"A", "XDG_A_DIR"}}});
    named.add("/home/u/M/X", 2, cleaner::NamedInside{{}, {{"B", "XDG_B_DIR"}}});
    named.add("/home/u/M", 0, cleaner::NamedInside{{}, {{"X/B", "XDG_FAR_DIR"}}});

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
}
