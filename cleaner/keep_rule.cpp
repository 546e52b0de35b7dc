// SPDX-License-Identifier: GPL-3.0-or-later
#include "keep_rule.h"

#include "path.h"

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
    ReasonRow{KeepKind::PostgreSQL, true, "it is part of a PostgreSQL database"},
    ReasonRow{KeepKind::SystemPlace, false, "the system needs it"},
    ReasonRow{KeepKind::MountPoint, false, "it is a mount point in "},
    ReasonRow{KeepKind::DesktopFolder, false, "the desktop uses it ("},
};

const ReasonRow& rowOf(KeepKind kind) {
    return *std::find_if(kReasons.begin(), kReasons.end(),
                         [kind](const ReasonRow& row) { return row.kind == kind; });
}

// Where a name rule applies: in the parent folder of what kind.
enum class Where : std::uint8_t { FileSystemRoot, SystemRoot, Anywhere };

// Names that keep a folder of one kind, where the parent is of a kind.
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
constexpr std::string_view kSystemPlaces[] = {"home", "root", "mnt", "media", "tmp"};

// Rules 1 to 3, in order.
constexpr NameRow kSealedByName[] = {
    {Where::FileSystemRoot, KeepKind::Repairs, kRepairs},
    {Where::SystemRoot, KeepKind::SystemFolder, kSystemFolders},
    {Where::Anywhere, KeepKind::Git, kGit},
    {Where::Anywhere, KeepKind::Mercurial, kMercurial},
    {Where::Anywhere, KeepKind::Subversion, kSubversion},
    {Where::Anywhere, KeepKind::Bazaar, kBazaar},
};

// Rule 6.
constexpr NameRow kKeptByPlace[] = {
    {Where::SystemRoot, KeepKind::SystemPlace, kSystemPlaces},
};

struct ContentRow {
    EntryMarks needs; // every one of these
    KeepKind kind;
};

// Rules 4 and 5: what git (is_git_directory) and PostgreSQL need to
// recognise a folder as theirs.
constexpr ContentRow kSealedByContent[] = {
    {marks::HeadFile | marks::ObjectsFolder | marks::RefsFolder, KeepKind::Git},
    {marks::PgVersionFile, KeepKind::PostgreSQL},
};

bool applies(Where where, const FolderFacts& parent) {
    switch (where) {
    case Where::FileSystemRoot:
        return parent.fileSystemRoot;
    case Where::SystemRoot:
        return parent.systemRoot;
    case Where::Anywhere:
        return true;
    }
    return false;
}

std::optional<KeepReason> firstMatch(std::span<const NameRow> rows, std::string_view name,
                                     const FolderFacts& parent) {
    for (const NameRow& row : rows)
        if (applies(row.where, parent) &&
            std::find(row.names.begin(), row.names.end(), name) != row.names.end())
            return KeepReason{row.kind, {}};
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

// Calls `onLine` with each line of `text`, without its newline.
template <typename OnLine>
void forEachLine(std::string_view text, OnLine onLine) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        onLine(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
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

} // namespace

bool KeepReason::seals() const noexcept {
    return rowOf(kind).seals;
}

std::string KeepReason::text() const {
    std::string text(rowOf(kind).text);
    if (kind == KeepKind::MountPoint)
        text += source;
    else if (kind == KeepKind::DesktopFolder)
        text += source + ")";
    return text;
}

void noteEntry(EntryMarks& found, std::string_view name, bool regularFile, bool realFolder) noexcept {
    switch (name.size()) {
    case 3:
        if (name == "etc")
            found |= marks::Etc;
        else if (name == "usr")
            found |= marks::Usr;
        break;
    case 4:
        if (name == "HEAD" && regularFile)
            found |= marks::HeadFile;
        else if (name == "refs" && realFolder)
            found |= marks::RefsFolder;
        break;
    case 7:
        if (name == "objects" && realFolder)
            found |= marks::ObjectsFolder;
        else if (name == ".config")
            found |= marks::Config;
        break;
    case 10:
        if (name == "PG_VERSION" && regularFile)
            found |= marks::PgVersionFile;
        break;
    default:
        break;
    }
}

std::optional<KeepReason> keptByName(std::string_view name, const FolderFacts& parent) {
    return firstMatch(kSealedByName, name, parent);
}

std::optional<KeepReason> keptByContent(EntryMarks own) {
    for (const ContentRow& row : kSealedByContent)
        if ((own & row.needs) == row.needs)
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

std::vector<std::pair<std::string, KeepReason>> namedBeneath(const std::string& folderPath,
                                                             const NamedInside& inside) {
    std::vector<std::pair<std::string, KeepReason>> named;
    for (const std::string& mountPoint : inside.mountPoints)
        named.emplace_back(joinPath(folderPath, std::string_view(mountPoint).substr(1)),
                           KeepReason{KeepKind::MountPoint, joinPath(folderPath, "etc/fstab")});
    for (const DesktopFolder& folder : inside.desktopFolders)
        named.emplace_back(joinPath(folderPath, folder.relativePath),
                           KeepReason{KeepKind::DesktopFolder, folder.variable});
    return named;
}

void NamedFolders::add(const std::string& folderPath, int level, const NamedInside& inside) {
    for (auto& [path, reason] : namedBeneath(folderPath, inside))
        insert(std::move(path), std::move(reason), level);
}

void NamedFolders::insert(std::string path, KeepReason reason, int level) {
    auto& named = reason.kind == KeepKind::MountPoint ? m_mountPoints : m_desktopFolders;
    m_lengths.insert(path.size());
    const auto [it, added] = named.try_emplace(std::move(path), Named{reason, level});
    // A nearer file decides; within one file, the first line does.
    if (!added && level > it->second.level)
        it->second = Named{std::move(reason), level};
}

std::optional<KeepReason> NamedFolders::find(const std::string& path) const {
    if (m_lengths.find(path.size()) == m_lengths.end())
        return std::nullopt;
    for (const auto* named : {&m_mountPoints, &m_desktopFolders}) {
        const auto it = named->find(path);
        if (it != named->end())
            return it->second.reason;
    }
    return std::nullopt;
}

} // namespace cleaner
