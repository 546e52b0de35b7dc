// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/file_system.h"
#include "cleaner/folder_list.h"
#include "cleaner/fs_error.h"

#include <optional>
#include <string>

namespace reference {

// The empty-folder scan written the slow, obvious way, kept as the yardstick
// the real scan is checked and timed against: every folder is opened again by
// its path, and every subfolder's size is totalled afresh over its whole
// tree, so deep folders are read once for each folder above them. Not for
// use in the program.
class LiteralScan {
public:
    explicit LiteralScan(cleaner::FileSystem& fileSystem) : m_fs(fileSystem) {}

    // Clears List1 and refills it with the empty folders beneath `path`.
    // The first failure anywhere ends the walk; it is kept in stoppedBy.
    void Dir1_Change(const std::string& path);
    void ShowSubFolders(const cleaner::Folder& Folder);

    std::string mainFolderPath;
    std::optional<cleaner::Folder> currentFolder;
    cleaner::FolderList List1;
    std::optional<cleaner::FsError> stoppedBy;

private:
    cleaner::FileSystem& m_fs;
};

} // namespace reference
