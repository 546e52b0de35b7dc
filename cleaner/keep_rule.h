// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace cleaner {

// Folders that something needs, however empty they look: deleting them
// breaks a repository, a database, a mailbox, the system or the desktop.
// Such a folder is never listed and never deleted, and no folder above it
// is listed.
//
// The rules, first match wins:
//   1. lost+found at the root of a file system           (sealed)
//   2. bin, etc, usr, var ... directly in a system root  (sealed)
//   3. .git, .hg, .svn, .bzr, .stfolder, private-keys-v1.d,
//      a drive's Trash (.Trash, .Trash-1000)              (sealed)
//  3b. a hidden folder (.vim, .ssh) directly in a home    (sealed)
//   4. a bare git repository: HEAD, objects/ and refs/   (sealed)
//   5. a PostgreSQL cluster: PG_VERSION                  (sealed)
//      ... then the other content rows: a quilt .pc, a Maildir, a
//      Subversion or OSTree repository, container storage, a PostgreSQL
//      tablespace, the top of a work tree that a version control system
//      versions folders in (Subversion, Bazaar, darcs), a Wine prefix, a
//      CMake build tree, a Squid cache (00 to 0F)         (sealed)
//   6. home, root, mnt, media, tmp in a system root      (kept alone)
//   7. a mount point in the system root's etc/fstab      (kept alone)
//   8. a desktop folder of a .config/user-dirs.dirs      (kept alone)
//   9. a git submodule named in a work tree's .gitmodules (kept alone)
//  10. a folder a configuration file names by its path  (kept alone)
// Nothing beneath a sealed folder is read, listed or deleted; a folder kept
// alone is walked like any other, and empty folders inside it are listed.
//
// A system root is a folder holding etc/os-release or usr/lib/os-release:
// "/" and any installation found in the tree (a chroot, another disk).
//
// Some zero-byte files mean something too (a .gitkeep holds its folder in a
// repository, an __init__.py makes a package): they weigh as data would.
//
// This file holds the rule as data and pure functions; folder_keeper.h
// gathers the facts it needs from the disk.
enum class KeepKind : std::uint8_t {
    Repairs,
    SystemFolder,
    Git,
    Mercurial,
    Subversion,
    Bazaar,
    Syncthing,
    GnuPG,
    PostgreSQL,
    Quilt,
    Maildir,
    SubversionRepository,
    OSTree,
    ContainerStorage,
    SubversionWorkTree,
    BazaarWorkTree,
    DarcsWorkTree,
    WinePrefix,
    CMakeBuildTree,
    SquidCache,
    ProgramState,
    DesktopTrash,
    SystemPlace,
    MountPoint,
    DesktopFolder,
    GitSubmodule,
    Configured,
};

// Why a folder stays.
struct KeepReason {
    KeepKind kind = KeepKind::SystemFolder;
    // MountPoint: the fstab that names it; DesktopFolder: the variable;
    // GitSubmodule: the .gitmodules file that names it; Configured: the
    // configuration file that names it.
    std::string source;

    // Sealed folders are never entered; the others are kept alone.
    bool seals() const noexcept;
    // As the user reads it: "the system needs it".
    std::string text() const;

    bool operator==(const KeepReason&) const = default;
};

// Entries of a folder that the rule looks at, noted as the folder is read.
using EntryMarks = std::uint64_t;
namespace marks {
constexpr EntryMarks bit(unsigned n) noexcept {
    return EntryMarks{1} << n;
}
inline constexpr EntryMarks HeadFile = bit(0);      // regular file HEAD
inline constexpr EntryMarks ObjectsFolder = bit(1); // real folder objects
inline constexpr EntryMarks RefsFolder = bit(2);    // real folder refs
inline constexpr EntryMarks PgVersionFile = bit(3); // regular file PG_VERSION
// Entries of any kind (a link counts) that call for a closer look.
inline constexpr EntryMarks Etc = bit(4);
inline constexpr EntryMarks Usr = bit(5);
inline constexpr EntryMarks Config = bit(6);
inline constexpr EntryMarks GitEntry = bit(7);   // .git, a folder or a file
inline constexpr EntryMarks Gitmodules = bit(8); // .gitmodules
// What the other content rows look for.
inline constexpr EntryMarks VersionFile = bit(9);         // regular file .version (quilt)
inline constexpr EntryMarks CurFolder = bit(10);          // real folders cur, new, tmp (Maildir)
inline constexpr EntryMarks NewFolder = bit(11);
inline constexpr EntryMarks TmpFolder = bit(12);
inline constexpr EntryMarks FormatFile = bit(13);         // regular file format (Subversion)
inline constexpr EntryMarks DbFolder = bit(14);           // real folder db
inline constexpr EntryMarks ConfigFile = bit(15);         // regular file config (OSTree)
inline constexpr EntryMarks StorageLockFile = bit(16);    // regular file storage.lock
inline constexpr EntryMarks LayersFolder = bit(17);       // real folder *-layers
inline constexpr EntryMarks ContainersFolder = bit(18);   // real folders containers, image, volumes
inline constexpr EntryMarks ImageFolder = bit(19);
inline constexpr EntryMarks VolumesFolder = bit(20);
inline constexpr EntryMarks TablespaceFolder = bit(21);   // real folder PG_15_202209061
// The administrative folders of version control systems that version
// folders; what they hold is looked at more closely (closerLooks()).
inline constexpr EntryMarks SvnFolder = bit(22);          // real folders .svn, .bzr, _darcs
inline constexpr EntryMarks BzrFolder = bit(23);
inline constexpr EntryMarks DarcsFolder = bit(24);
inline constexpr EntryMarks SvnWorkTree = bit(25);        // .svn holds wc.db
inline constexpr EntryMarks BzrWorkTree = bit(26);        // .bzr holds checkout
inline constexpr EntryMarks DarcsWorkTree = bit(27);      // _darcs holds hashed_inventory
// Programs' own trees.
inline constexpr EntryMarks SystemRegFile = bit(28);      // regular files system.reg, user.reg (Wine)
inline constexpr EntryMarks UserRegFile = bit(29);
inline constexpr EntryMarks DriveCFolder = bit(30);       // real folder drive_c
inline constexpr EntryMarks CMakeCacheFile = bit(31);     // regular file CMakeCache.txt
inline constexpr EntryMarks CMakeFilesFolder = bit(32);   // real folder CMakeFiles
// Entries of any kind that make a folder a home.
inline constexpr EntryMarks BashrcEntry = bit(33);        // .bashrc
inline constexpr EntryMarks ProfileEntry = bit(34);       // .profile
inline constexpr EntryMarks ConfigFolder = bit(35);       // real folder .config
inline constexpr EntryMarks FilesFolder = bit(36);        // real folders files, info (a Trash)
inline constexpr EntryMarks InfoFolder = bit(37);
// Real folders 00 to 0F, Squid's first level of cache folders: one bit each.
inline constexpr unsigned kFirstSquidFolderBit = 48;
inline constexpr EntryMarks SquidFolders = EntryMarks{0xFFFF} << kFirstSquidFolderBit;
} // namespace marks

// Notes the entry `name` in `marks`: whether it is a regular file, and
// whether it is a real folder (never a link to one). Costs a length test
// for most names.
void noteEntry(EntryMarks& marks, std::string_view name, bool regularFile, bool realFolder) noexcept;
// The names noteEntry() looks for, for a folder that can't be listed and is
// looked at name by name instead. The tablespace and -layers folders are
// known by a pattern, not a name: only a listing finds them.
std::span<const std::string_view> markedNames() noexcept;

// A mark that only a look inside a subfolder can give: `gives` when the
// folder's entries hold `needs` and the entry `inside` exists (a link
// counts, and is not followed).
struct CloserLook {
    EntryMarks needs;
    std::string_view inside;
    EntryMarks gives;
};
std::span<const CloserLook> closerLooks() noexcept;

// A regular file of zero bytes that something needs all the same (.gitkeep,
// __init__.py): it counts as data, as a file with a size does.
bool isMarkerFile(std::string_view name) noexcept;

// Homes beneath a folder, by their paths relative to it ("" is the folder
// itself), in no order.
using HomePaths = std::vector<std::string>;

// What the rule knows of a folder whose subfolders are being judged.
struct FolderFacts {
    EntryMarks marks = 0;
    bool systemRoot = false;
    // "/", or a folder on another device than the folder above it.
    bool fileSystemRoot = false;
    // A user's home: its hidden folders are programs' (rule 3b).
    bool home = false;
    // The home folder of a system root: every folder in it is a home.
    bool holdsHomes = false;
    // The homes that a system's etc/passwd (or the password database, for
    // the user running the scan) names beneath it; null when none.
    std::shared_ptr<const HomePaths> homesBeneath;
};

// What a folder's parent tells of it: whether it is a home, and which homes
// lie beneath it. Its own marks complete that (homeByContent()).
FolderFacts inheritedFacts(const FolderFacts& parent, std::string_view name);
// A folder holding a .config folder, a .bashrc or a .profile is a home,
// wherever it lies (on another disk, copied to a backup drive).
bool homeByContent(EntryMarks own) noexcept;
// The homes an etc/passwd names (the sixth field of each line), relative to
// the system root it lies in ("home/you"; "" for "/"), in file order.
HomePaths homesIn(std::string_view passwd);

// Rules 1 to 3, then a hidden folder directly in a home (3b): by the
// folder's name and what its parent is. A folder sealed here is never read.
std::optional<KeepReason> keptByName(std::string_view name, const FolderFacts& parent);
// Rules 4 and 5 and the rows after them: by what the folder `name` holds.
std::optional<KeepReason> keptByContent(std::string_view name, EntryMarks own);
// Rule 6: by the folder's name in a system root.
std::optional<KeepReason> keptByPlace(std::string_view name, const FolderFacts& parent);

// The mount points an fstab names (the second field of each line), escapes
// such as \040 decoded and trailing slashes dropped, in file order. Only
// absolute ones: "none" or "swap" name no folder.
std::vector<std::string> mountPointsIn(std::string_view fstab);

// One folder a user-dirs.dirs file names: `relativePath` inside the home
// folder, by the variable `variable` (XDG_MUSIC_DIR).
struct DesktopFolder {
    std::string relativePath;
    std::string variable;
    bool operator==(const DesktopFolder&) const = default;
};
// The folders a .config/user-dirs.dirs names with lines such as
// XDG_MUSIC_DIR="$HOME/Music", first line first; a folder named twice
// keeps its first variable. Absolute values and values with an empty, "."
// or ".." part name nothing.
std::vector<DesktopFolder> desktopFoldersIn(std::string_view userDirs);

// The submodule paths a .gitmodules file names ("vendor/lib"): each
// `path = P` line inside a [submodule ...] section, in file order, P bare
// or in double quotes, trailing slashes dropped. Absolute paths and paths
// with an empty, "." or ".." part name nothing.
std::vector<std::string> submodulePathsIn(std::string_view gitmodules);

// What the files inside one folder name, relative to that folder: its
// etc/fstab's mount points when it is a system root ("/boot/efi"), its
// .config/user-dirs.dirs's desktop folders ("Music"), and its .gitmodules's
// submodules when it is a git work tree ("vendor/lib").
struct NamedInside {
    std::vector<std::string> mountPoints;
    std::vector<DesktopFolder> desktopFolders;
    std::vector<std::string> submodules;
    bool empty() const noexcept { return mountPoints.empty() && desktopFolders.empty() && submodules.empty(); }
};

// Each folder that `inside` names, by its path beneath `folderPath`, with
// the reason that keeps it.
std::vector<std::pair<std::string, KeepReason>> namedBeneath(const std::string& folderPath,
                                                             const NamedInside& inside);

// Rules 7 to 10: the folders named so far, by their paths as the scan
// spells them. Where several files name one folder, the nearest decides:
// the one whose folder lies deepest (`level` counts down from the main
// folder, 0; folders above it have negative levels), and of one folder's
// files the first read. Rule 7 goes first, then 8, 9 and 10.
class NamedFolders {
public:
    // Adds what `inside` names, for the folder at `folderPath`.
    void add(const std::string& folderPath, int level, const NamedInside& inside);
    // Adds one folder by its path.
    void insert(std::string path, KeepReason reason, int level);
    std::optional<KeepReason> find(const std::string& path) const;
    bool empty() const noexcept { return m_lengths.empty(); }

private:
    struct Named {
        KeepReason reason;
        int level = 0;
    };
    std::unordered_map<std::string, Named> m_mountPoints;
    std::unordered_map<std::string, Named> m_desktopFolders;
    std::unordered_map<std::string, Named> m_submodules;
    std::unordered_map<std::string, Named> m_configured;
    // The lengths of the paths above: most paths are ruled out by these
    // without hashing them.
    std::unordered_set<std::size_t> m_lengths;
};

} // namespace cleaner
