// SPDX-License-Identifier: GPL-3.0-or-later
#include "keep_rule.h"

#include "path.h"
#include "text_lines.h"

#include <algorithm>
#include <array>
#include <span>

namespace cleaner {

namespace {

struct ReasonRow {
    KeepKind kind;
    bool seals;
    std::string_view text;
};

// What each kind of kept folder tells the user, and whether anything
// beneath it may be read at all.
constexpr std::array kReasons = {
    ReasonRow{KeepKind::Repairs, true, "the file system keeps it for repairs"},
    ReasonRow{KeepKind::SystemFolder, true, "the system needs it"},
    ReasonRow{KeepKind::Git, true, "it is part of a git repository"},
    ReasonRow{KeepKind::Mercurial, true, "it is part of a Mercurial repository"},
    ReasonRow{KeepKind::Subversion, true, "it is part of a Subversion working copy"},
    ReasonRow{KeepKind::Bazaar, true, "it is part of a Bazaar repository"},
    ReasonRow{KeepKind::Syncthing, true, "Syncthing needs it"},
    ReasonRow{KeepKind::GnuPG, true, "GnuPG needs it"},
    ReasonRow{KeepKind::PostgreSQL, true, "it is part of a PostgreSQL database"},
    ReasonRow{KeepKind::Quilt, true, "quilt needs it"},
    ReasonRow{KeepKind::Maildir, true, "it is a mail folder (Maildir)"},
    ReasonRow{KeepKind::SubversionRepository, true, "it is part of a Subversion repository"},
    ReasonRow{KeepKind::OSTree, true, "it is part of an OSTree repository"},
    ReasonRow{KeepKind::ContainerStorage, true, "it holds containers' storage"},
    ReasonRow{KeepKind::SubversionWorkTree, true, "it is versioned by Subversion"},
    ReasonRow{KeepKind::BazaarWorkTree, true, "it is versioned by Bazaar"},
    ReasonRow{KeepKind::DarcsWorkTree, true, "it is versioned by darcs"},
    ReasonRow{KeepKind::WinePrefix, true, "Wine needs it"},
    ReasonRow{KeepKind::CMakeBuildTree, true, "it is a CMake build tree"},
    ReasonRow{KeepKind::SquidCache, true, "Squid needs it"},
    ReasonRow{KeepKind::ProgramState, true, "programs keep their state in it"},
    ReasonRow{KeepKind::DesktopTrash, true, "it is the desktop's Trash"},
    ReasonRow{KeepKind::SystemPlace, false, "the system needs it"},
    ReasonRow{KeepKind::MountPoint, false, "it is a mount point in "},
    ReasonRow{KeepKind::DesktopFolder, false, "the desktop uses it ("},
    ReasonRow{KeepKind::GitSubmodule, false, "it is a git submodule ("},
    ReasonRow{KeepKind::Configured, false, "it is named in "},
};

const ReasonRow& rowOf(KeepKind kind) {
    return *std::find_if(kReasons.begin(), kReasons.end(),
                         [kind](const ReasonRow& row) { return row.kind == kind; });
}

// Where a name rule applies: in the parent folder of what kind.
enum class Where : std::uint8_t { FileSystemRoot, SystemRoot, Home, Anywhere };

// Names that keep a folder of one kind, where the parent is of a kind: the
// names listed, or, with none, every hidden name.
struct NameRow {
    Where where;
    KeepKind kind;
    std::span<const std::string_view> names;
};

constexpr std::string_view kRepairs[] = {"lost+found"};
constexpr std::string_view kSystemFolders[] = {"bin",   "boot",   "dev", "etc",  "lib", "lib32",
                                               "lib64", "libx32", "opt", "proc", "run", "sbin",
                                               "snap",  "srv",    "sys", "usr",  "var", "lost+found"};
constexpr std::string_view kGit[] = {".git"};
constexpr std::string_view kMercurial[] = {".hg"};
constexpr std::string_view kSubversion[] = {".svn"};
constexpr std::string_view kBazaar[] = {".bzr"};
constexpr std::string_view kSyncthing[] = {".stfolder"};
constexpr std::string_view kGnuPG[] = {"private-keys-v1.d"};
constexpr std::string_view kDrivesTrash[] = {".Trash"}; // and .Trash-<uid>, by pattern
constexpr std::string_view kSystemPlaces[] = {"home", "root", "mnt", "media", "tmp"};

// Rules 1 to 3, in order.
constexpr NameRow kSealedByName[] = {
    {Where::FileSystemRoot, KeepKind::Repairs, kRepairs},
    {Where::SystemRoot, KeepKind::SystemFolder, kSystemFolders},
    {Where::Anywhere, KeepKind::Git, kGit},
    {Where::Anywhere, KeepKind::Mercurial, kMercurial},
    {Where::Anywhere, KeepKind::Subversion, kSubversion},
    {Where::Anywhere, KeepKind::Bazaar, kBazaar},
    {Where::Anywhere, KeepKind::Syncthing, kSyncthing},
    {Where::Anywhere, KeepKind::GnuPG, kGnuPG},
    {Where::Anywhere, KeepKind::DesktopTrash, kDrivesTrash},
    // An empty hidden folder in a home is clutter no one sees, and almost
    // always a program's: its swap, its sockets, its cache to come.
    {Where::Home, KeepKind::ProgramState, {}},
};

// Rule 6.
constexpr NameRow kKeptByPlace[] = {
    {Where::SystemRoot, KeepKind::SystemPlace, kSystemPlaces},
};

struct ContentRow {
    EntryMarks needs; // every one of these
    KeepKind kind;
    std::string_view ownName = {}; // the folder's own name, where the row asks for one
};

// Rules 4 and 5, then the rows after them: what each program needs to
// recognise a folder as its own (git's is_git_directory, say). A bare git
// repository matches before an OSTree one, which holds much the same.
constexpr ContentRow kSealedByContent[] = {
    {marks::HeadFile | marks::ObjectsFolder | marks::RefsFolder, KeepKind::Git},
    {marks::PgVersionFile, KeepKind::PostgreSQL},
    {marks::VersionFile, KeepKind::Quilt, ".pc"},
    {marks::CurFolder | marks::NewFolder | marks::TmpFolder, KeepKind::Maildir},
    {marks::FormatFile | marks::DbFolder, KeepKind::SubversionRepository},
    {marks::ConfigFile | marks::ObjectsFolder | marks::RefsFolder, KeepKind::OSTree},
    {marks::StorageLockFile | marks::LayersFolder, KeepKind::ContainerStorage},
    {marks::ContainersFolder | marks::ImageFolder | marks::VolumesFolder, KeepKind::ContainerStorage},
    {marks::TablespaceFolder, KeepKind::PostgreSQL},
    // Version control systems that version folders: the top of a work tree
    // seals it all, as git's rows seal a repository. (Git and Mercurial
    // version no folders: their work trees are scanned as any folder.)
    {marks::SvnWorkTree, KeepKind::SubversionWorkTree},
    {marks::BzrWorkTree, KeepKind::BazaarWorkTree},
    {marks::DarcsWorkTree, KeepKind::DarcsWorkTree},
    // Programs' trees, known by what the program itself makes first.
    {marks::SystemRegFile | marks::UserRegFile | marks::DriveCFolder, KeepKind::WinePrefix},
    {marks::CMakeCacheFile | marks::CMakeFilesFolder, KeepKind::CMakeBuildTree},
    // Squid's cache is its folders 00 to 0F: squid -z makes them, and the
    // swap.state it writes beside them comes only once Squid has run.
    {marks::SquidFolders, KeepKind::SquidCache},
    // The home Trash: what the desktop moved there is restored from there.
    {marks::FilesFolder | marks::InfoFolder, KeepKind::DesktopTrash, "Trash"},
};

// What a work tree's administrative folder holds once the program has made
// it one (Subversion 1.7 and later keep one .svn, at the top).
constexpr CloserLook kCloserLooks[] = {
    {marks::SvnFolder, ".svn/wc.db", marks::SvnWorkTree},
    {marks::BzrFolder, ".bzr/checkout", marks::BzrWorkTree},
    {marks::DarcsFolder, "_darcs/hashed_inventory", marks::DarcsWorkTree},
};

// What an entry must be for its name to count.
enum class Need : std::uint8_t { AnyEntry, RegularFile, RealFolder };

struct MarkedName {
    std::string_view name;
    Need need;
    EntryMarks mark;
};

// The names noteEntry() marks, shortest first: an entry is only compared
// with the names of its own length.
constexpr MarkedName kMarkedNames[] = {
    {"db", Need::RealFolder, marks::DbFolder},
    {"cur", Need::RealFolder, marks::CurFolder},
    {"etc", Need::AnyEntry, marks::Etc},
    {"new", Need::RealFolder, marks::NewFolder},
    {"tmp", Need::RealFolder, marks::TmpFolder},
    {"usr", Need::AnyEntry, marks::Usr},
    {".bzr", Need::RealFolder, marks::BzrFolder},
    {".git", Need::AnyEntry, marks::GitEntry},
    {".svn", Need::RealFolder, marks::SvnFolder},
    {"HEAD", Need::RegularFile, marks::HeadFile},
    {"refs", Need::RealFolder, marks::RefsFolder},
    {"info", Need::RealFolder, marks::InfoFolder},
    {"image", Need::RealFolder, marks::ImageFolder},
    {"files", Need::RealFolder, marks::FilesFolder},
    {"_darcs", Need::RealFolder, marks::DarcsFolder},
    {"config", Need::RegularFile, marks::ConfigFile},
    {"format", Need::RegularFile, marks::FormatFile},
    {".bashrc", Need::AnyEntry, marks::BashrcEntry},
    {".config", Need::AnyEntry, marks::Config},
    {".config", Need::RealFolder, marks::ConfigFolder},
    {"drive_c", Need::RealFolder, marks::DriveCFolder},
    {"objects", Need::RealFolder, marks::ObjectsFolder},
    {"volumes", Need::RealFolder, marks::VolumesFolder},
    {".profile", Need::AnyEntry, marks::ProfileEntry},
    {".version", Need::RegularFile, marks::VersionFile},
    {"user.reg", Need::RegularFile, marks::UserRegFile},
    {"CMakeFiles", Need::RealFolder, marks::CMakeFilesFolder},
    {"PG_VERSION", Need::RegularFile, marks::PgVersionFile},
    {"containers", Need::RealFolder, marks::ContainersFolder},
    {"system.reg", Need::RegularFile, marks::SystemRegFile},
    {".gitmodules", Need::AnyEntry, marks::Gitmodules},
    {"storage.lock", Need::RegularFile, marks::StorageLockFile},
    {"CMakeCache.txt", Need::RegularFile, marks::CMakeCacheFile},
};
constexpr std::size_t kLongestMarkedName = 14;

// Where the names of each length begin in kMarkedNames.
constexpr auto kFirstOfLength = [] {
    std::array<std::uint8_t, kLongestMarkedName + 2> first{};
    std::size_t row = 0;
    for (std::size_t length = 0; length < first.size(); ++length) {
        while (row < std::size(kMarkedNames) && kMarkedNames[row].name.size() < length)
            ++row;
        first[length] = static_cast<std::uint8_t>(row);
    }
    return first;
}();
static_assert(std::is_sorted(std::begin(kMarkedNames), std::end(kMarkedNames),
                             [](const MarkedName& a, const MarkedName& b) { return a.name.size() < b.name.size(); }));
static_assert(kMarkedNames[std::size(kMarkedNames) - 1].name.size() == kLongestMarkedName);

constexpr auto kMarkedNameList = [] {
    std::array<std::string_view, std::size(kMarkedNames)> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = kMarkedNames[i].name;
    return names;
}();

constexpr std::string_view kMarkerFiles[] = {".gitkeep", ".keep", ".gitignore", "__init__.py", "py.typed",
                                             ".nomedia"};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// PG_<server version>_<catalogue version>: what PostgreSQL makes inside a
// tablespace's folder, such as PG_15_202209061.
bool isTablespaceFolderName(std::string_view name) {
    constexpr std::size_t kCatalogueDigits = 9;
    if (!name.starts_with("PG_") || name.size() < 3 + 1 + 1 + kCatalogueDigits)
        return false;
    const std::string_view version = name.substr(3, name.size() - 3 - 1 - kCatalogueDigits);
    const std::string_view catalogue = name.substr(name.size() - kCatalogueDigits);
    return name[name.size() - kCatalogueDigits - 1] == '_' &&
           std::all_of(version.begin(), version.end(), [](char c) { return isDigit(c) || c == '.'; }) &&
           std::all_of(catalogue.begin(), catalogue.end(), isDigit);
}

// 00 to 0F: the first level of a Squid cache's folders.
std::optional<unsigned> squidFolderDigit(std::string_view name) {
    if (name.size() != 2 || name[0] != '0')
        return std::nullopt;
    if (isDigit(name[1]))
        return static_cast<unsigned>(name[1] - '0');
    if (name[1] >= 'A' && name[1] <= 'F')
        return static_cast<unsigned>(name[1] - 'A' + 10);
    return std::nullopt;
}

bool applies(Where where, const FolderFacts& parent) {
    switch (where) {
    case Where::FileSystemRoot:
        return parent.fileSystemRoot;
    case Where::SystemRoot:
        return parent.systemRoot;
    case Where::Home:
        return parent.home;
    case Where::Anywhere:
        return true;
    }
    return false;
}

std::optional<KeepReason> firstMatch(std::span<const NameRow> rows, std::string_view name,
                                     const FolderFacts& parent) {
    for (const NameRow& row : rows) {
        const bool named = row.names.empty() ? name.starts_with('.')
                                             : std::find(row.names.begin(), row.names.end(), name) != row.names.end();
        if (named && applies(row.where, parent))
            return KeepReason{row.kind, {}};
    }
    return std::nullopt;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}


bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// fstab spells blanks and backslashes inside a field as \040, \011, \134.
std::string decodeOctalEscapes(std::string_view field) {
    std::string decoded;
    decoded.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            decoded.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                                (field[i + 3] - '0')));
            i += 3;
        } else {
            decoded.push_back(field[i]);
        }
    }
    return decoded;
}

void dropTrailingSlashes(std::string& path) {
    while (!path.empty() && path.back() == '/')
        path.pop_back();
}

bool consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// A path relative to the home folder with no empty, "." or ".." part.
bool isPlainRelativePath(std::string_view path) {
    if (path.empty())
        return false;
    for (;;) {
        const std::size_t end = std::min(path.find('/'), path.size());
        const std::string_view part = path.substr(0, end);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == path.size())
            return true;
        path.remove_prefix(end + 1);
    }
}

// One line of user-dirs.dirs: XDG_<KEY>_DIR="$HOME/<rel>", blanks allowed
// at the start and around "=", nothing but blanks after the closing quote.
std::optional<DesktopFolder> desktopFolderOn(std::string_view line) {
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    line = trimLeft(line);
    if (!consume(line, "XDG_"))
        return std::nullopt;
    std::size_t keyLength = 0;
    while (keyLength < line.size() && line[keyLength] >= 'A' && line[keyLength] <= 'Z')
        ++keyLength;
    const std::string_view key = line.substr(0, keyLength);
    line.remove_prefix(keyLength);
    if (key.empty() || !consume(line, "_DIR"))
        return std::nullopt;
    line = trimLeft(line);
    if (!consume(line, "="))
        return std::nullopt;
    line = trimLeft(line);
    if (!consume(line, "\""))
        return std::nullopt;
    const std::size_t closing = line.find('"');
    if (closing == std::string_view::npos)
        return std::nullopt;
    std::string_view value = line.substr(0, closing);
    if (!trimLeft(line.substr(closing + 1)).empty())
        return std::nullopt;
    if (!consume(value, "$HOME/"))
        return std::nullopt;
    std::string relative(value);
    dropTrailingSlashes(relative);
    if (!isPlainRelativePath(relative))
        return std::nullopt;
    return DesktopFolder{std::move(relative), "XDG_" + std::string(key) + "_DIR"};
}

// One line of a .gitmodules section, blanks at its start dropped:
// path = P, with P bare (up to a comment) or in double quotes.
std::optional<std::string> submodulePathOn(std::string_view line) {
    if (!consume(line, "path"))
        return std::nullopt;
    line = trimLeft(line);
    if (!consume(line, "="))
        return std::nullopt;
    line = trimLeft(line);
    std::string path;
    if (consume(line, "\"")) {
        const std::size_t closing = line.find('"');
        if (closing == std::string_view::npos)
            return std::nullopt;
        path = line.substr(0, closing);
        const std::string_view after = trimLeft(line.substr(closing + 1));
        if (!after.empty() && after.front() != '#' && after.front() != ';')
            return std::nullopt;
    } else {
        path = line.substr(0, std::min(line.find_first_of("#;"), line.size()));
        while (!path.empty() && isBlank(path.back()))
            path.pop_back();
    }
    dropTrailingSlashes(path);
    if (!isPlainRelativePath(path))
        return std::nullopt;
    return path;
}

} // namespace

bool KeepReason::seals() const noexcept {
    return rowOf(kind).seals;
}

std::string KeepReason::text() const {
    std::string text(rowOf(kind).text);
    if (kind == KeepKind::MountPoint || kind == KeepKind::Configured)
        text += source;
    else if (kind == KeepKind::DesktopFolder || kind == KeepKind::GitSubmodule)
        text += source + ")";
    return text;
}

void noteEntry(EntryMarks& found, std::string_view name, bool regularFile, bool realFolder) noexcept {
    if (realFolder) {
        if (name.ends_with("-layers"))
            found |= marks::LayersFolder;
        else if (name.starts_with("PG_") && isTablespaceFolderName(name))
            found |= marks::TablespaceFolder;
        else if (const auto digit = squidFolderDigit(name))
            found |= marks::bit(marks::kFirstSquidFolderBit + *digit);
    }
    if (name.size() > kLongestMarkedName)
        return;
    for (std::size_t row = kFirstOfLength[name.size()]; row < kFirstOfLength[name.size() + 1]; ++row) {
        const MarkedName& marked = kMarkedNames[row];
        if (marked.name != name)
            continue;
        if (marked.need == Need::AnyEntry || (marked.need == Need::RegularFile && regularFile) ||
            (marked.need == Need::RealFolder && realFolder))
            found |= marked.mark; // a name may have a row for each kind it counts as
    }
}

std::span<const std::string_view> markedNames() noexcept {
    return kMarkedNameList;
}

std::span<const CloserLook> closerLooks() noexcept {
    return kCloserLooks;
}

bool isMarkerFile(std::string_view name) noexcept {
    return std::find(std::begin(kMarkerFiles), std::end(kMarkerFiles), name) != std::end(kMarkerFiles);
}

FolderFacts inheritedFacts(const FolderFacts& parent, std::string_view name) {
    FolderFacts facts;
    facts.home = parent.holdsHomes;
    facts.holdsHomes = parent.systemRoot && name == "home";
    if (!parent.homesBeneath)
        return facts;
    HomePaths beneath;
    for (const std::string& home : *parent.homesBeneath) {
        if (!home.starts_with(name))
            continue;
        if (home.size() == name.size())
            facts.home = true;
        else if (home[name.size()] == '/')
            beneath.push_back(home.substr(name.size() + 1));
    }
    if (!beneath.empty())
        facts.homesBeneath = std::make_shared<const HomePaths>(std::move(beneath));
    return facts;
}

bool homeByContent(EntryMarks own) noexcept {
    return (own & (marks::ConfigFolder | marks::BashrcEntry | marks::ProfileEntry)) != 0;
}

HomePaths homesIn(std::string_view passwd) {
    HomePaths homes;
    forEachLine(passwd, [&homes](std::string_view line) {
        // name:password:uid:gid:gecos:home:shell
        for (int field = 0; field < 5; ++field) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                return;
            line.remove_prefix(colon + 1);
        }
        std::string home(line.substr(0, std::min(line.find(':'), line.size())));
        if (!home.starts_with('/'))
            return;
        dropTrailingSlashes(home);
        home.erase(0, 1);
        if (home.empty() || isPlainRelativePath(home))
            homes.push_back(std::move(home));
    });
    return homes;
}

namespace {

// .Trash-1000: a drive's Trash of one user.
bool isUsersTrashName(std::string_view name) {
    constexpr std::string_view prefix = ".Trash-";
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), isDigit);
}

} // namespace

std::optional<KeepReason> keptByName(std::string_view name, const FolderFacts& parent) {
    if (isUsersTrashName(name))
        return KeepReason{KeepKind::DesktopTrash, {}};
    return firstMatch(kSealedByName, name, parent);
}

std::optional<KeepReason> keptByContent(std::string_view name, EntryMarks own) {
    for (const ContentRow& row : kSealedByContent)
        if ((own & row.needs) == row.needs && (row.ownName.empty() || row.ownName == name))
            return KeepReason{row.kind, {}};
    return std::nullopt;
}

std::optional<KeepReason> keptByPlace(std::string_view name, const FolderFacts& parent) {
    return firstMatch(kKeptByPlace, name, parent);
}

std::vector<std::string> mountPointsIn(std::string_view fstab) {
    std::vector<std::string> found;
    forEachLine(fstab, [&found](std::string_view line) {
        line = trimLeft(line);
        if (line.empty() || line.front() == '#')
            return;
        const std::size_t firstEnd = std::min(line.find_first_of(" \t"), line.size());
        line = trimLeft(line.substr(firstEnd));
        const std::size_t secondEnd = std::min(line.find_first_of(" \t"), line.size());
        std::string mountPoint = decodeOctalEscapes(line.substr(0, secondEnd));
        dropTrailingSlashes(mountPoint);
        if (mountPoint.starts_with('/'))
            found.push_back(std::move(mountPoint));
    });
    return found;
}

std::vector<DesktopFolder> desktopFoldersIn(std::string_view userDirs) {
    std::vector<DesktopFolder> found;
    forEachLine(userDirs, [&found](std::string_view line) {
        auto folder = desktopFolderOn(line);
        if (!folder)
            return;
        const bool namedBefore = std::any_of(found.begin(), found.end(), [&folder](const DesktopFolder& f) {
            return f.relativePath == folder->relativePath;
        });
        if (!namedBefore)
            found.push_back(std::move(*folder));
    });
    return found;
}

std::vector<std::string> submodulePathsIn(std::string_view gitmodules) {
    std::vector<std::string> found;
    bool inSubmodule = false;
    forEachLine(gitmodules, [&](std::string_view line) {
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = trimLeft(line);
        if (line.starts_with('[')) {
            inSubmodule = line.starts_with("[submodule") &&
                          (line.size() == 10 || isBlank(line[10]) || line[10] == '"' || line[10] == ']');
            return;
        }
        if (auto path = submodulePathOn(line); inSubmodule && path)
            found.push_back(std::move(*path));
    });
    return found;
}

std::vector<std::pair<std::string, KeepReason>> namedBeneath(const std::string& folderPath,
                                                             const NamedInside& inside) {
    std::vector<std::pair<std::string, KeepReason>> named;
    for (const std::string& mountPoint : inside.mountPoints)
        named.emplace_back(joinPath(folderPath, std::string_view(mountPoint).substr(1)),
                           KeepReason{KeepKind::MountPoint, joinPath(folderPath, "etc/fstab")});
    for (const DesktopFolder& folder : inside.desktopFolders)
        named.emplace_back(joinPath(folderPath, folder.relativePath),
                           KeepReason{KeepKind::DesktopFolder, folder.variable});
    for (const std::string& submodule : inside.submodules)
        named.emplace_back(joinPath(folderPath, submodule),
                           KeepReason{KeepKind::GitSubmodule, joinPath(folderPath, ".gitmodules")});
    return named;
}

void NamedFolders::add(const std::string& folderPath, int level, const NamedInside& inside) {
    for (auto& [path, reason] : namedBeneath(folderPath, inside))
        insert(std::move(path), std::move(reason), level);
}

void NamedFolders::insert(std::string path, KeepReason reason, int level) {
    auto& named = reason.kind == KeepKind::MountPoint      ? m_mountPoints
                  : reason.kind == KeepKind::DesktopFolder ? m_desktopFolders
                  : reason.kind == KeepKind::GitSubmodule  ? m_submodules
                                                           : m_configured;
    m_lengths.insert(path.size());
    const auto [it, added] = named.try_emplace(std::move(path), Named{reason, level});
    // A nearer file decides; within one file, the first line does.
    if (!added && level > it->second.level)
        it->second = Named{std::move(reason), level};
}

std::optional<KeepReason> NamedFolders::find(const std::string& path) const {
    if (m_lengths.find(path.size()) == m_lengths.end())
        return std::nullopt;
    for (const auto* named : {&m_mountPoints, &m_desktopFolders, &m_submodules, &m_configured}) {
        const auto it = named->find(path);
        if (it != named->end())
            return it->second.reason;
    }
    return std::nullopt;
}

} // namespace cleaner
