// SPDX-License-Identifier: GPL-3.0-or-later
//
// The members of Folder, the folder handle the reference scan walks with:
// each one reads the disk afresh through the folder summary.
#include "file_system.h"
#include "folder_summary.h"
#include "fs_error.h"
#include "path.h"

namespace cleaner {

namespace {

// Opens `path` and summarises it, throwing on any failure.
FolderSummary summarisePath(FileSystem& fs, const std::string& path, SizeNeed need, std::uint64_t& device,
                            OpenFolder& folder) {
    std::error_code ec;
    folder = fs.open(path, device, ec);
    if (ec)
        throw FsError(path, ec);
    FolderSummary summary;
    std::vector<DirEntry> scratch;
    std::string failedName;
    ec = summariseFolder(fs, folder.get(), device, need, summary, scratch, failedName);
    if (ec)
        throw FsError(failedName.empty() ? path : joinPath(path, failedName), ec);
    return summary;
}

// Total bytes beneath an open folder, reading subfolders through their
// parent so the walk never follows a link that appears meanwhile.
std::uint64_t treeSize(FileSystem& fs, const OpenFolder& folder, const std::string& path,
                       std::uint64_t device, std::vector<DirEntry>& scratch) {
    FolderSummary summary;
    std::string failedName;
    std::error_code ec =
        summariseFolder(fs, folder.get(), device, SizeNeed::All, summary, scratch, failedName);
    if (ec)
        throw FsError(failedName.empty() ? path : joinPath(path, failedName), ec);
    std::uint64_t total = summary.bytes;
    for (const std::string& name : summary.subFolders) {
        const std::string subPath = joinPath(path, name);
        OpenFolder sub = fs.openSub(folder.get(), name, ec);
        if (ec)
            throw FsError(subPath, ec);
        total += treeSize(fs, sub, subPath, device, scratch);
    }
    return total;
}

} // namespace

std::vector<Folder> Folder::SubFolders() const {
    std::uint64_t device = 0;
    OpenFolder folder;
    FolderSummary summary = summarisePath(*m_fs, m_path, SizeNeed::None, device, folder);
    std::vector<Folder> result;
    result.reserve(summary.subFolders.size());
    for (const std::string& name : summary.subFolders)
        result.emplace_back(*m_fs, joinPath(m_path, name));
    return result;
}

FileCollection Folder::Files() const {
    std::uint64_t device = 0;
    OpenFolder folder;
    return FileCollection(summarisePath(*m_fs, m_path, SizeNeed::None, device, folder).fileCount);
}

std::uint64_t Folder::Size() const {
    std::uint64_t device = 0;
    std::error_code ec;
    OpenFolder folder = m_fs->open(m_path, device, ec);
    if (ec)
        throw FsError(m_path, ec);
    std::vector<DirEntry> scratch;
    return treeSize(*m_fs, folder, m_path, device, scratch);
}

} // namespace cleaner
