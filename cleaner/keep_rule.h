// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace cleaner {

// Folders that something needs, however empty they look: deleting them
// breaks a repository, a database, the system or the desktop. Such a folder
// is never listed and never deleted, and no folder above it is listed.
//
// The rules, first match wins:
//   1. lost+found at the root of a file system           (sealed)
//   2. bin, etc, usr, var ... directly in a system root  (sealed)
//   3. .git, .hg, .svn, .bzr                             (sealed)
//   4. a bare git repository: HEAD, objects/ and refs/   (sealed)
//   5. a PostgreSQL cluster: PG_VERSION                  (sealed)
//   6. home, root, mnt, media, tmp in a system root      (kept alone)
//   7. a mount point in the system root's etc/fstab      (kept alone)
//   8. a desktop folder of a .config/user-dirs.dirs      (kept alone)
// Nothing beneath a sealed folder is read, listed or deleted; a folder kept
// alone is walked like any other, and empty folders inside it are listed.
//
// A system root is a folder holding etc/os-release or usr/lib/os-release:
// "/" and any installation found in the tree (a chroot, another disk).
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
    PostgreSQL,
    SystemPlace,
    MountPoint,
    DesktopFolder,
};

// Why a folder stays.
struct KeepReason {
    KeepKind kind = KeepKind::SystemFolder;
    // MountPoint: the fstab that names it; DesktopFolder: the variable.
    std::string source;

    // Sealed folders are never entered; the others are kept alone.
    bool seals() const noexcept;
    // As the user reads it: "the system needs it".
    std::string text() const;

    bool operator==(const KeepReason&) const = default;
};

// Entries of a folder that the rule looks at, noted as the folder is read.
using EntryMarks = std::uint8_t;
namespace marks {
inline constexpr EntryMarks HeadFile = 1 << 0;      // regular file HEAD
inline constexpr EntryMarks ObjectsFolder = 1 << 1; // real folder objects
inline constexpr EntryMarks RefsFolder = 1 << 2;    // real folder refs
inline constexpr EntryMarks PgVersionFile = 1 << 3; // regular file PG_VERSION
// Entries of any kind (a link counts) that call for a closer look.
inline constexpr EntryMarks Etc = 1 << 4;
inline constexpr EntryMarks Usr = 1 << 5;
inline constexpr EntryMarks Config = 1 << 6;
} // namespace marks

// Notes the entry `name` in `marks`: whether it is a regular file, and
// whether it is a real folder (never a link to one). Costs a length test
// for most names.
void noteEntry(EntryMarks& marks, std::string_view name, bool regularFile, bool realFolder) noexcept;

// What the rule knows of a folder whose subfolders are being judged.
struct FolderFacts {
    EntryMarks marks = 0;
    bool systemRoot = false;
    // "/", or a folder on another device than the folder above it.
    bool fileSystemRoot = false;
};

// Rules 1 to 3: by the folder's name and what its parent is. A folder
// sealed here is never read.
std::optional<KeepReason> keptByName(std::string_view name, const FolderFacts& parent);
// Rules 4 and 5: by what the folder holds.
std::optional<KeepReason> keptByContent(EntryMarks own);
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

// What the files inside one folder name, relative to that folder: its
// etc/fstab's mount points when it is a system root ("/boot/efi"), and its
// .config/user-dirs.dirs's desktop folders ("Music").
struct NamedInside {
    std::vector<std::string> mountPoints;
    std::vector<DesktopFolder> desktopFolders;
    bool empty() const noexcept { return mountPoints.empty() && desktopFolders.empty(); }
};

// Each folder that `inside` names, by its path beneath `folderPath`, with
// the reason that keeps it.
std::vector<std::pair<std::string, KeepReason>> namedBeneath(const std::string& folderPath,
                                                             const NamedInside& inside);

// Rules 7 and 8: the folders named so far, by their paths as the scan
// spells them. Where several files name one folder, the nearest decides:
// the one whose folder lies deepest (`level` counts down from the main
// folder, 0; folders above it have negative levels). Rule 7 goes first.
class NamedFolders {
public:
    // Adds what `inside` names, for the folder at `folderPath`.
    void add(const std::string& folderPath, int level, const NamedInside& inside);
    // Adds one folder by its path.
    void insert(std::string path, KeepReason reason, int level);
    std::optional<KeepReason> find(const std::string& path) const;
    bool empty() const noexcept { return m_mountPoints.empty() && m_desktopFolders.empty(); }

private:
    struct Named {
        KeepReason reason;
        int level = 0;
    };
    std::unordered_map<std::string, Named> m_mountPoints;
    std::unordered_map<std::string, Named> m_desktopFolders;
    // The lengths of the paths above: most paths are ruled out by these
    // without hashing them.
    std::unordered_set<std::size_t> m_lengths;
};

} // namespace cleaner
