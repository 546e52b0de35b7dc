// SPDX-License-Identifier: GPL-3.0-or-later
#include "literal_scan.h"

namespace reference {

void LiteralScan::Dir1_Change(const std::string& path) {
    mainFolderPath = path;
    List1.Clear();
    stoppedBy.reset();
    try {
        const cleaner::Folder mainFolder = m_fs.GetFolder(mainFolderPath);
        ShowSubFolders(mainFolder);
    } catch (const cleaner::FsError& error) {
        stoppedBy = error;
    }
}

void LiteralScan::ShowSubFolders(const cleaner::Folder& Folder) {
    if (!m_fs.FolderExists(Folder.Path()))
        return;
    currentFolder = m_fs.GetFolder(Folder.Path());
    for (const cleaner::Folder& subFolder : Folder.SubFolders()) {
        currentFolder = m_fs.GetFolder(subFolder.Path());
        const auto fileCount = currentFolder->Files().Count();
        const auto size = subFolder.Size();
        if (fileCount == 0 && size == 0)
            List1.AddItem(subFolder.Path());
        ShowSubFolders(subFolder);
    }
}

} // namespace reference
