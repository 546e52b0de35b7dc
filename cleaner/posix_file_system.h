// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"

namespace cleaner {

// The real disk, through openat/getdents64/statx on folder descriptors.
//
// Subfolders are always opened relative to their parent's descriptor with
// O_NOFOLLOW, and entries are examined with AT_SYMLINK_NOFOLLOW and
// AT_NO_AUTOMOUNT, so no link is followed and no automount is triggered.
// It holds no state of its own, so any number of threads may share it.
class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem();

    bool isFolder(const std::string& path) override;
    FolderHandle openFolder(const std::string& path, std::uint64_t& device, std::error_code& ec) override;
    FolderHandle openSubFolder(FolderHandle parent, const std::string& name, std::error_code& ec) override;
    void readEntries(FolderHandle folder, std::vector<DirEntry>& out, std::error_code& ec,
                     std::stop_token stop) override;
    EntryStatus examine(FolderHandle parent, const std::string& name, std::error_code& ec) override;
    void closeFolder(FolderHandle folder) noexcept override;
    EntryStatus folderStatus(FolderHandle folder, std::error_code& ec) override;
    void removeEntry(FolderHandle parent, const std::string& name, bool folder, std::error_code& ec) override;
    void makePrivateFolder(FolderHandle parent, const std::string& name, std::error_code& ec) override;
    void moveEntry(FolderHandle from, const std::string& fromName, FolderHandle to, const std::string& toName,
                   std::error_code& ec) override;
    void writeNewFile(FolderHandle folder, const std::string& name, const std::string& text,
                      std::error_code& ec) override;
    void replaceFile(FolderHandle folder, const std::string& name, const std::string& text,
                     std::error_code& ec) override;
    EntryStatus lookUp(FolderHandle from, const std::string& path, bool followLast,
                       std::error_code& ec) override;
    std::string readTextFile(FolderHandle from, const std::string& path, std::size_t limit,
                             std::error_code& ec) override;
    std::string canonicalPath(const std::string& path, std::error_code& ec) override;
    // Yes on the local file systems that have no boundary inside (ext4,
    // XFS, tmpfs, F2FS), when the mount table names no mount beneath.
    bool listedFoldersAreReal(FolderHandle top, const std::string& path) override;

private:
    static EntryStatus statusAt(int dirfd, const char* name, int flags, std::error_code& ec);
};

// The disk as this process's scans and deletions reach it: never destroyed,
// so that readers a finished scan let go (a hung network drive) can still
// end their reads safely, whenever that is.
FileSystem& systemFileSystem();

} // namespace cleaner
