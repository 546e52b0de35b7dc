// SPDX-License-Identifier: GPL-3.0-or-later
#include "configuration_reader.h"

#include "path.h"

#include <algorithm>
#include <unordered_set>

namespace cleaner {

namespace {

constexpr std::size_t kTextProbe = 4096;
constexpr unsigned kEtcDepth = 64; // deeper than any etc holds
constexpr unsigned kConfigDepth = 4; // .config/a/b/c/file
constexpr std::string_view kNotSettings[] = {".cache", ".local"};

bool isHidden(std::string_view name) {
    return name.starts_with('.');
}

class Reader {
public:
    Reader(FileSystem& fs, WrittenIn where, ConfigurationBudget& budget)
        : m_fs(fs), m_where(where), m_budget(budget) {}

    // Reads the files of the open `folder` (at `relative` from the folder
    // read), and those of its subfolders down to `depth` levels in all.
    // With `onlyHidden` (a home), only hidden entries count: the files
    // directly in each hidden folder are read, and kConfigDepth levels of
    // .config.
    void readFolder(FolderHandle folder, const std::string& relative, unsigned depth, bool onlyHidden) {
        std::vector<DirEntry> entries;
        std::error_code ec;
        m_fs.readEntries(folder, entries, ec, {});
        if (ec)
            return;
        std::sort(entries.begin(), entries.end(),
                  [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
        for (const DirEntry& entry : entries) {
            if (m_budget.stop.stop_requested())
                return;
            if (onlyHidden && !isHidden(entry.name))
                continue;
            EntryKind kind = entry.kind;
            if (kind == EntryKind::Unknown) {
                kind = m_fs.examine(folder, entry.name, ec).kind;
                if (ec)
                    continue;
            }
            const std::string path = relative.empty() ? entry.name : relative + "/" + entry.name;
            if (kind == EntryKind::RegularFile || (kind == EntryKind::Other && m_where == WrittenIn::Home)) {
                readFile(folder, entry.name, path);
            } else if (kind == EntryKind::Folder) {
                unsigned levels = depth - 1;
                if (onlyHidden) {
                    if (std::find(std::begin(kNotSettings), std::end(kNotSettings), entry.name) !=
                        std::end(kNotSettings))
                        continue;
                    levels = entry.name == ".config" ? kConfigDepth : 1;
                }
                if (levels == 0)
                    continue;
                OpenFolder sub = m_fs.openSub(folder, entry.name, ec);
                if (!ec)
                    readFolder(sub.get(), path, levels, false);
            }
        }
    }

    std::vector<ConfiguredFolder> taken() { return std::move(m_found); }

private:
    void readFile(FolderHandle folder, const std::string& name, const std::string& path) {
        std::error_code ec;
        // A link is looked at where it leads: only a home's links are read.
        const EntryStatus status = m_fs.lookUp(folder, name, true, ec);
        if (ec || status.kind != EntryKind::RegularFile || status.size > ConfigurationBudget::kLargestFile)
            return;
        if (!m_budget.take(status.size))
            return;
        const std::string text = m_fs.readTextFile(folder, name, ConfigurationBudget::kLargestFile, ec);
        if (ec || std::string_view(text).substr(0, kTextProbe).find('\0') != std::string_view::npos)
            return;
        for (WrittenPath& written : pathsWrittenIn(text, m_where)) {
            std::string key = (written.inHome ? "~" : "") + written.path;
            if (m_seen.insert(std::move(key)).second)
                m_found.push_back(ConfiguredFolder{std::move(written), path});
        }
    }

    FileSystem& m_fs;
    WrittenIn m_where;
    ConfigurationBudget& m_budget;
    std::vector<ConfiguredFolder> m_found;
    std::unordered_set<std::string> m_seen;
};

OpenFolder openFolderAt(FileSystem& fs, FolderHandle from, const std::string& folder) {
    std::error_code ec;
    std::uint64_t device = 0;
    OpenFolder opened = from == kNoFolder ? fs.open(folder, device, ec) : fs.openSub(from, folder, ec);
    return ec ? OpenFolder() : std::move(opened);
}

} // namespace

bool ConfigurationBudget::take(std::uint64_t size) noexcept {
    if (stop.stop_requested())
        return false;
    if (filesLeft == 0 || size > bytesLeft) {
        cut = true;
        return false;
    }
    --filesLeft;
    bytesLeft -= size;
    return true;
}

std::vector<ConfiguredFolder> readSystemConfiguration(FileSystem& fs, FolderHandle from,
                                                      const std::string& folder, ConfigurationBudget& budget) {
    Reader reader(fs, WrittenIn::System, budget);
    std::error_code ec;
    if (const OpenFolder root = openFolderAt(fs, from, folder))
        if (const OpenFolder etc = fs.openSub(root.get(), "etc", ec); !ec)
            reader.readFolder(etc.get(), "etc", kEtcDepth, false);
    return reader.taken();
}

std::vector<ConfiguredFolder> readHomeConfiguration(FileSystem& fs, FolderHandle from,
                                                    const std::string& folder, ConfigurationBudget& budget) {
    Reader reader(fs, WrittenIn::Home, budget);
    if (const OpenFolder home = openFolderAt(fs, from, folder))
        reader.readFolder(home.get(), "", 2, true);
    return reader.taken();
}

} // namespace cleaner
