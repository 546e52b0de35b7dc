// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_keeper.h"

#include "fs_error.h"
#include "path.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace cleaner {

namespace {

// fstab and user-dirs.dirs are a few lines long; a megabyte of either is
// not what it claims to be, and only its first megabyte is believed.
constexpr std::size_t kNamingFileLimit = 1 << 20;

bool exists(FileSystem& fs, FolderHandle from, const std::string& path) {
    std::error_code ec;
    fs.lookUp(from, path, true, ec);
    return !ec;
}

EntryKind kindOf(FileSystem& fs, FolderHandle from, const std::string& path) {
    std::error_code ec;
    const EntryStatus status = fs.lookUp(from, path, false, ec);
    return ec ? EntryKind::Unknown : status.kind;
}

// A file that can't be read names nothing, but one that could not be
// opened for want of descriptors or memory may name something all the same:
// that is kept in `shortOf`, for the caller to retry or refuse.
std::optional<std::string> readNamingFile(FileSystem& fs, FolderHandle from, const std::string& path,
                                          std::error_code& shortOf) {
    std::error_code ec;
    std::string text = fs.readTextFile(from, path, kNamingFileLimit, ec);
    if (isShortOfResources(ec))
        shortOf = ec;
    if (ec)
        return std::nullopt;
    return text;
}

// "/a/b" -> "/a", "/a" -> "/".
std::string parentOf(const std::string& canonical) {
    const std::size_t slash = canonical.rfind('/');
    return slash == 0 ? std::string("/") : canonical.substr(0, slash);
}

std::string prefixOf(const std::string& folder) {
    return folder.ends_with('/') ? folder : folder + "/";
}

// The user's home by its real path, where it is there.
std::optional<std::string> realHome(FileSystem& fs, const std::optional<std::string>& userHome) {
    if (!userHome)
        return std::nullopt;
    std::error_code ec;
    std::string canonical = fs.canonicalPath(*userHome, ec);
    return ec ? std::nullopt : std::optional<std::string>(std::move(canonical));
}

// One of the main folder and the folders above it, as lookAbove() sees it.
struct ChainFolder {
    std::string path; // real, without links
    std::optional<std::uint64_t> device;
    FolderFacts facts; // of the folders above the main folder
    NamedInside inside;
};

std::string_view lastName(const std::string& path) {
    return std::string_view(path).substr(path.rfind('/') + 1);
}

// Every home that the folders above the main folder chain[0] know of, by
// its real path: the user's own, those the etc/passwd of each system above
// names, and those above known by their place or what they hold.
std::vector<std::string> homesKnownAbove(FileSystem& fs, const std::vector<ChainFolder>& chain,
                                         const std::optional<std::string>& userHome) {
    std::vector<std::string> homes;
    if (auto home = realHome(fs, userHome))
        homes.push_back(std::move(*home));
    for (std::size_t i = chain.size() - 1; i >= 1; --i)
        if (chain[i].facts.homesBeneath)
            for (const std::string& home : *chain[i].facts.homesBeneath)
                homes.push_back(home.empty() ? chain[i].path : joinPath(chain[i].path, home));
    for (std::size_t i = chain.size() - 1; i >= 1; --i) {
        const bool inSystemsHome =
            i + 2 < chain.size() && chain[i + 2].facts.systemRoot && lastName(chain[i + 1].path) == "home";
        if (inSystemsHome || homeByContent(chain[i].facts.marks))
            homes.push_back(chain[i].path);
    }
    std::vector<std::string> once;
    for (std::string& home : homes)
        if (std::find(once.begin(), once.end(), home) == once.end())
            once.push_back(std::move(home));
    return once;
}

// What the folders above tell of the main folder chain[0]: whether it is a
// home, holds homes, and where homes lie beneath it.
FolderFacts mainFolderFacts(const std::vector<ChainFolder>& chain, const std::vector<std::string>& homes) {
    FolderFacts facts;
    if (chain.size() >= 2) {
        facts.holdsHomes = chain[1].facts.systemRoot && lastName(chain[0].path) == "home";
        facts.home = chain.size() >= 3 && chain[2].facts.systemRoot && lastName(chain[1].path) == "home";
    }
    const std::string prefix = prefixOf(chain[0].path);
    HomePaths beneath;
    for (const std::string& home : homes) {
        if (home == chain[0].path)
            facts.home = true;
        else if (home.starts_with(prefix))
            beneath.push_back(home.substr(prefix.size()));
    }
    if (!beneath.empty())
        facts.homesBeneath = std::make_shared<const HomePaths>(std::move(beneath));
    return facts;
}

// The systems and homes outside the main folder's tree whose configuration
// may name folders in it: those above it and the homes anywhere else. The
// main folder's own is the caller's to add, once it knows what it holds;
// what lies beneath is read as the scan meets it.
ConfigurationRoots configurationOutside(const std::vector<ChainFolder>& chain,
                                        const std::vector<std::string>& homes) {
    ConfigurationRoots roots;
    for (std::size_t i = chain.size() - 1; i >= 1; --i)
        if (chain[i].facts.systemRoot)
            roots.systems.push_back(chain[i].path);
    const std::string prefix = prefixOf(chain[0].path);
    for (const std::string& home : homes)
        if (home != chain[0].path && !home.starts_with(prefix))
            roots.homes.push_back(home);
    return roots;
}

} // namespace

// `path`, a real path beneath the real main folder `canonicalMain`, as the
// scan spells it from `mainFolderPath`; nothing when it is not beneath.
std::optional<std::string> spelledBeneath(const std::string& path, const std::string& canonicalMain,
                                           const std::string& mainFolderPath) {
    const std::string prefix = prefixOf(canonicalMain);
    if (!path.starts_with(prefix) || path.size() == prefix.size())
        return std::nullopt;
    return joinPath(mainFolderPath, std::string_view(path).substr(prefix.size()));
}

NamedInside lookInside(FileSystem& fs, FolderHandle from, const std::string& prefix, FolderFacts& facts,
                       std::error_code& shortOf) {
    NamedInside inside;
    if (facts.marks & (marks::Etc | marks::Usr)) {
        facts.systemRoot =
            exists(fs, from, prefix + "etc/os-release") || exists(fs, from, prefix + "usr/lib/os-release");
        if (facts.systemRoot && (facts.marks & marks::Etc))
            if (const auto fstab = readNamingFile(fs, from, prefix + "etc/fstab", shortOf))
                inside.mountPoints = mountPointsIn(*fstab);
    }
    if (homeByContent(facts.marks))
        facts.home = true;
    if (facts.systemRoot)
        if (const auto passwd = readNamingFile(fs, from, prefix + "etc/passwd", shortOf)) {
            HomePaths homes = homesIn(*passwd);
            if (facts.homesBeneath)
                homes.insert(homes.end(), facts.homesBeneath->begin(), facts.homesBeneath->end());
            facts.homesBeneath = homes.empty() ? nullptr : std::make_shared<const HomePaths>(std::move(homes));
        }
    if (facts.marks & marks::Config)
        if (const auto userDirs = readNamingFile(fs, from, prefix + ".config/user-dirs.dirs", shortOf))
            inside.desktopFolders = desktopFoldersIn(*userDirs);
    const EntryMarks workTree = marks::GitEntry | marks::Gitmodules;
    if ((facts.marks & workTree) == workTree)
        if (const auto gitmodules = readNamingFile(fs, from, prefix + ".gitmodules", shortOf))
            inside.submodules = submodulePathsIn(*gitmodules);
    return inside;
}

EntryMarks lookCloser(FileSystem& fs, FolderHandle from, const std::string& prefix, EntryMarks marks) {
    for (const CloserLook& look : closerLooks())
        if ((marks & look.needs) == look.needs && kindOf(fs, from, prefix + std::string(look.inside)) != EntryKind::Unknown)
            marks |= look.gives;
    return marks;
}

EntryMarks lookUpMarks(FileSystem& fs, FolderHandle from, const std::string& prefix) {
    EntryMarks found = 0;
    for (const std::string_view name : markedNames()) {
        const EntryKind kind = kindOf(fs, from, prefix + std::string(name));
        if (kind != EntryKind::Unknown)
            noteEntry(found, name, kind == EntryKind::RegularFile, kind == EntryKind::Folder);
    }
    return lookCloser(fs, from, prefix, found);
}

EntryMarks readMarks(FileSystem& fs, FolderHandle folder) {
    std::vector<DirEntry> entries;
    std::error_code ec;
    fs.readEntries(folder, entries, ec, {});
    if (ec)
        return lookUpMarks(fs, folder, "");
    EntryMarks found = 0;
    for (const DirEntry& entry : entries) {
        EntryKind kind = entry.kind;
        if (kind == EntryKind::Unknown) {
            // Only names that could count are worth a closer look.
            EntryMarks could = 0;
            noteEntry(could, entry.name, true, true);
            if (could == 0)
                continue;
            kind = kindOf(fs, folder, entry.name);
        }
        noteEntry(found, entry.name, kind == EntryKind::RegularFile, kind == EntryKind::Folder);
    }
    return lookCloser(fs, folder, "", found);
}

AboveMainFolder lookAbove(FileSystem& fs, const std::string& mainFolderPath, EntryMarks mainFolderMarks,
                          const std::optional<std::string>& userHome, NamedFolders& named) {
    AboveMainFolder above;
    std::error_code ec;
    const std::string canonicalMain = fs.canonicalPath(mainFolderPath, ec);
    if (ec)
        return above;

    // chain[0] is the main folder, then each folder above it up to "/".
    std::vector<ChainFolder> chain;
    for (std::string path = canonicalMain;; path = parentOf(path)) {
        ChainFolder& folder = chain.emplace_back();
        folder.path = path;
        const EntryStatus status = fs.lookUp(kNoFolder, path, true, ec);
        if (!ec)
            folder.device = status.device;
        if (path == "/")
            break;
    }
    const auto fileSystemRoot = [&chain](std::size_t i) {
        return chain[i].path == "/" ||
               (chain[i].device && chain[i + 1].device && *chain[i].device != *chain[i + 1].device);
    };
    chain[0].facts.marks = mainFolderMarks;
    for (std::size_t i = 1; i < chain.size(); ++i) {
        std::uint64_t device = 0;
        ec.clear();
        const OpenFolder folder = fs.open(chain[i].path, device, ec);
        chain[i].facts.marks =
            ec ? lookUpMarks(fs, kNoFolder, prefixOf(chain[i].path)) : readMarks(fs, folder.get());
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        chain[i].facts.fileSystemRoot = fileSystemRoot(i);
        chain[i].inside = lookInside(fs, kNoFolder, prefixOf(chain[i].path), chain[i].facts, above.shortOf);
    }
    above.fileSystemRoot = fileSystemRoot(0);
    const std::vector<std::string> homes = homesKnownAbove(fs, chain, userHome);
    above.mainFacts = mainFolderFacts(chain, homes);
    above.canonicalMain = canonicalMain;
    above.configuration = configurationOutside(chain, homes);

    // Nearest first, and only on the main folder's own file system: a drive
    // mounted beneath a sealed folder is still the user's to clean.
    for (std::size_t i = 0; i + 1 < chain.size() && chain[i].device == chain[0].device; ++i) {
        const std::string name(lastName(chain[i].path));
        FolderFacts parent = chain[i + 1].facts;
        parent.home = false; // a hidden folder opened on purpose is the user's to clean
        above.sealedBy = keptByName(name, parent);
        if (!above.sealedBy)
            above.sealedBy = keptByContent(name, chain[i].facts.marks);
        if (above.sealedBy)
            return above;
    }

    // Farthest first, so that a nearer file's word counts.
    for (std::size_t i = chain.size() - 1; i >= 1; --i)
        for (auto& [path, reason] : namedBeneath(chain[i].path, chain[i].inside))
            if (auto spelled = spelledBeneath(path, canonicalMain, mainFolderPath))
                named.insert(std::move(*spelled), std::move(reason), -static_cast<int>(i));
    return above;
}

namespace {

KeepReason configuredBy(std::string file) {
    return KeepReason{KeepKind::Configured, std::move(file)};
}

// Where `written`, from a file of the folder at `root` (a system root when
// `systemRoot`, else a home), leads: for a system, its own root stands for
// "/"; for a home, ~/ is the home.
std::string resolveWritten(const WrittenPath& written, const std::string& root, bool systemRoot) {
    if (written.inHome)
        return joinPath(root, written.path);
    if (systemRoot && root != "/")
        return joinPath(root, std::string_view(written.path).substr(1));
    return written.path;
}

} // namespace

ConfigurationRoots machineConfiguration(FileSystem& fs, const std::string& canonicalMain,
                                        const std::optional<std::string>& userHome) {
    ConfigurationRoots roots;
    if (canonicalMain.empty())
        return roots;
    std::vector<std::string> homes;
    if (auto home = realHome(fs, userHome))
        homes.push_back(std::move(*home));
    if (exists(fs, kNoFolder, "/etc/os-release") || exists(fs, kNoFolder, "/usr/lib/os-release")) {
        roots.systems.push_back("/");
        std::error_code shortOf;
        if (const auto passwd = readNamingFile(fs, kNoFolder, "/etc/passwd", shortOf))
            for (const std::string& home : homesIn(*passwd))
                homes.push_back("/" + home);
    }
    for (std::string& home : homes)
        if (std::find(roots.homes.begin(), roots.homes.end(), home) == roots.homes.end())
            roots.homes.push_back(std::move(home));
    return roots;
}

ConfigurationRoots notYetRead(const ConfigurationRoots& roots, const ConfigurationRoots& read) {
    ConfigurationRoots left;
    const auto among = [](const std::vector<std::string>& paths, const std::string& path) {
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    };
    for (const std::string& system : roots.systems)
        if (!among(read.systems, system))
            left.systems.push_back(system);
    for (const std::string& home : roots.homes)
        if (!among(read.homes, home))
            left.homes.push_back(home);
    return left;
}

std::vector<NamedFolder> readConfiguredOutside(FileSystem& fs, const ConfigurationRoots& roots,
                                               const std::string& canonicalMain,
                                               const std::string& mainFolderPath, ConfigurationBudget& budget) {
    std::vector<NamedFolder> named;
    if (canonicalMain.empty())
        return named;
    const auto add = [&](const std::vector<ConfiguredFolder>& configured, const std::string& root, bool systemRoot) {
        for (const ConfiguredFolder& folder : configured)
            if (auto spelled = spelledBeneath(resolveWritten(folder.written, root, systemRoot), canonicalMain,
                                               mainFolderPath))
                named.emplace_back(std::move(*spelled), configuredBy(joinPath(root, folder.file)));
    };
    for (const std::string& system : roots.systems)
        add(readSystemConfiguration(fs, kNoFolder, system, budget), system, true);
    for (const std::string& home : roots.homes)
        add(readHomeConfiguration(fs, kNoFolder, home, budget), home, false);
    return named;
}

std::vector<NamedFolder> configuredBeneath(const std::string& folderPath, bool systemRoot,
                                           const std::vector<ConfiguredFolder>& configured,
                                           const std::string& canonicalMain, const std::string& mainFolderPath) {
    std::vector<NamedFolder> named;
    for (const ConfiguredFolder& folder : configured) {
        std::optional<std::string> spelled;
        if (systemRoot || folder.written.inHome)
            spelled = resolveWritten(folder.written, folderPath, systemRoot);
        else if (!canonicalMain.empty())
            spelled = spelledBeneath(folder.written.path, canonicalMain, mainFolderPath);
        if (spelled)
            named.emplace_back(std::move(*spelled), configuredBy(joinPath(folderPath, folder.file)));
    }
    return named;
}

std::vector<NamedFolder> readConfiguredBeneath(FileSystem& fs, FolderHandle parent, const std::string& name,
                                               const std::string& folderPath, const FolderFacts& facts,
                                               const std::string& canonicalMain, const std::string& mainFolderPath,
                                               ConfigurationBudget& budget) {
    std::vector<NamedFolder> named;
    if (facts.systemRoot)
        named = configuredBeneath(folderPath, true, readSystemConfiguration(fs, parent, name, budget),
                                  canonicalMain, mainFolderPath);
    if (facts.home) {
        auto inHome = configuredBeneath(folderPath, false, readHomeConfiguration(fs, parent, name, budget),
                                        canonicalMain, mainFolderPath);
        named.insert(named.end(), std::make_move_iterator(inHome.begin()), std::make_move_iterator(inHome.end()));
    }
    return named;
}

} // namespace cleaner
