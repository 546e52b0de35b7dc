// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_system.h"

#include "fs_error.h"

namespace cleaner {

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
        close();
        m_fs = other.m_fs;
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

void OpenFolder::close() noexcept {
    if (m_handle >= 0)
        m_fs->closeFolder(std::exchange(m_handle, -1));
}

bool FileSystem::FolderExists(const std::string& path) {
    return isFolder(path);
}

Folder FileSystem::GetFolder(const std::string& path) {
    std::uint64_t device = 0;
    std::error_code ec;
    OpenFolder folder = open(path, device, ec);
    if (ec)
        throw FsError(path, ec);
    return Folder(*this, path);
}

std::optional<EntryStatus> FileSystem::identify(const std::string& path) {
    std::uint64_t device = 0;
    std::error_code ec;
    OpenFolder folder = open(path, device, ec);
    if (ec)
        return std::nullopt;
    const EntryStatus status = folderStatus(folder.get(), ec);
    if (ec)
        return std::nullopt;
    return status;
}

std::vector<std::string> FileSystem::folderNamesIn(const std::string& path, std::error_code& ec) {
    std::uint64_t device = 0;
    OpenFolder folder = open(path, device, ec);
    if (ec)
        return {};
    std::vector<DirEntry> entries;
    readEntries(folder.get(), entries, ec, {});
    if (ec)
        return {};
    std::vector<std::string> names;
    for (DirEntry& entry : entries) {
        std::error_code unknown;
        const bool isFolder =
            entry.kind == EntryKind::Folder ||
            (entry.kind == EntryKind::Unknown &&
             examine(folder.get(), entry.name, unknown).kind == EntryKind::Folder && !unknown);
        if (isFolder)
            names.push_back(std::move(entry.name));
    }
    return names;
}

} // namespace cleaner
