// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "configuration_reader.h"
#include "file_system.h"
#include "keep_rule.h"

#include <optional>
#include <string>
#include <vector>

namespace cleaner {

// Gathers from the disk what the keep rule (keep_rule.h) needs to know,
// for the scan and the removal alike. Every look-up here only reads, and a
// look-up or read that fails just means "no".

// Completes `facts` of a folder whose entries are noted in facts.marks:
// whether it is a system root (and which homes its etc/passwd names), a
// home by what it holds, and what its etc/fstab (in a system root)
// and .config/user-dirs.dirs name, and the submodules its .gitmodules
// names when it also holds .git. Looks only when the folder holds an entry
// named etc, usr, .config or both .git and .gitmodules, so most folders
// cost nothing.
// `from` and `prefix` say where the folder is: an open folder and "", or
// kNoFolder and the folder's path ending in "/".
// A file that could not be read for want of descriptors or memory leaves
// the answer unknown: `shortOf` says so, and the caller must not take it
// for "nothing named".
NamedInside lookInside(FileSystem& fs, FolderHandle from, const std::string& prefix, FolderFacts& facts,
                       std::error_code& shortOf);

// `marks`, completed by the looks inside its subfolders that they call for
// (closerLooks()): a .svn that holds wc.db, say. Most folders need none.
// `from` and `prefix` as for lookInside().
EntryMarks lookCloser(FileSystem& fs, FolderHandle from, const std::string& prefix, EntryMarks marks);

// The marks of a folder that is not listed for anything else (those above
// the main folder, the removal's main folder and its way), from one listing of
// the freshly opened `folder`, which nobody else lists. Where it can't be
// listed, its names are looked up one by one: the rows known by a pattern
// (a tablespace, -layers) then say no.
EntryMarks readMarks(FileSystem& fs, FolderHandle folder);
// The marks that look-ups of each name find, for a folder at `prefix`
// (its path ending in "/", or "" for `from` itself).
EntryMarks lookUpMarks(FileSystem& fs, FolderHandle from, const std::string& prefix);

// Where configuration files that may name folders lie (rule 10), by the
// real paths of system roots and homes, in the order they are read.
struct ConfigurationRoots {
    std::vector<std::string> systems;
    std::vector<std::string> homes;
};

// What the rule says of the main folder and the folders above it.
struct AboveMainFolder {
    // The main folder, or the nearest folder above it on its file system,
    // is sealed: nothing in the main folder may be read or deleted.
    std::optional<KeepReason> sealedBy;
    // The main folder is "/" or the root of its file system (rule 1).
    bool fileSystemRoot = false;
    // What the folders above tell of the main folder (inheritedFacts());
    // lookInside() completes it from what the main folder holds.
    FolderFacts mainFacts;
    // The main folder's real path; empty when it could not be told.
    std::string canonicalMain;
    // The systems above the main folder ("/" first) and the homes outside
    // its tree: the main folder's own and what lies beneath are not here.
    ConfigurationRoots configuration;
    // A file above could not be read for want of descriptors or memory.
    std::error_code shortOf;
};

// Looks at the main folder and every folder above it (its real path, links
// resolved), once per scan or removal run. The main folder's own marks are
// the caller's, from the folder it opened and lists anyway: listed once,
// not twice, and judged by what the caller will walk. Adds to `named`, at
// negative levels, what the fstab and user-dirs files above the main folder
// name beneath it, spelled from `mainFolderPath` as the scan spells its paths.
// `userHome` is the home of the user running the scan (userHomeFolder()).
// A hidden folder above is judged as any: the user who opens ~/.cache
// wants it cleaned.
AboveMainFolder lookAbove(FileSystem& fs, const std::string& mainFolderPath, EntryMarks mainFolderMarks,
                          const std::optional<std::string>& userHome, NamedFolders& named);

// The configuration of this machine that may name folders in the tree of
// the main folder at the real path `canonicalMain`, known before anything
// in it is read: "/" when it is a system root, then the user's home and
// the homes its etc/passwd names, wherever they lie. Read before the walk
// begins, what they name counts anywhere in the tree; a home that only
// the walk finds names, by an absolute path, only what the walk meets after it.
ConfigurationRoots machineConfiguration(FileSystem& fs, const std::string& canonicalMain,
                                        const std::optional<std::string>& userHome);
// `path`, a real path beneath the real main folder `canonicalMain`, as the
// scan spells it from `mainFolderPath`; nothing when it is not beneath.
std::optional<std::string> spelledBeneath(const std::string& path, const std::string& canonicalMain,
                                          const std::string& mainFolderPath);
// `roots` without what `read` holds already.
ConfigurationRoots notYetRead(const ConfigurationRoots& roots, const ConfigurationRoots& read);

// A folder that a configuration file names, by its path as the scan spells
// it, and why it stays.
using NamedFolder = std::pair<std::string, KeepReason>;

// Rule 10 outside the main folder's tree: reads the configuration of
// `roots` (every system's etc, then every home) and gives the folders it
// names beneath the main folder, in the order read. `canonicalMain` is the
// main folder's real path, `mainFolderPath` as the scan spells it.
std::vector<NamedFolder> readConfiguredOutside(FileSystem& fs, const ConfigurationRoots& roots,
                                               const std::string& canonicalMain,
                                               const std::string& mainFolderPath, ConfigurationBudget& budget);

// Rule 10 beneath the main folder: the folders that the configuration of
// the system root or home at `folderPath` (as the scan spells it) names.
// An absolute path in a home's file is this machine's: it counts where it
// lies beneath the main folder.
std::vector<NamedFolder> configuredBeneath(const std::string& folderPath, bool systemRoot,
                                           const std::vector<ConfiguredFolder>& configured,
                                           const std::string& canonicalMain, const std::string& mainFolderPath);

// Reads what a system root or home beneath the main folder configures:
// the open folder `parent` holds it as `name`, `facts` are its own.
std::vector<NamedFolder> readConfiguredBeneath(FileSystem& fs, FolderHandle parent, const std::string& name,
                                               const std::string& folderPath, const FolderFacts& facts,
                                               const std::string& canonicalMain, const std::string& mainFolderPath,
                                               ConfigurationBudget& budget);

} // namespace cleaner
