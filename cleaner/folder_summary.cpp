// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_summary.h"

#include <algorithm>

namespace cleaner {

namespace {

// Counts one entry that is not a real folder. Anything but a regular file
// weighs one byte, so that a tree holding it never totals zero.
void countNonFolder(FolderSummary& out, const EntryStatus& status) {
    ++out.fileCount;
    out.bytes += status.kind == EntryKind::RegularFile ? status.size : 1;
}

const EntryStatus kUnexaminable{EntryKind::Other, 0, 0, false};

} // namespace

std::error_code summariseFolder(FileSystem& fs, FolderHandle folder, std::uint64_t device, SizeNeed need,
                                FolderSummary& out, std::vector<DirEntry>& scratch, std::string& failedName,
                                std::stop_token stop) {
    out.subFolders.clear();
    out.fileCount = 0;
    out.bytes = 0;
    failedName.clear();

    scratch.clear();
    std::error_code ec;
    fs.readEntries(folder, scratch, ec, stop);
    if (ec)
        return ec;

    // Folders first: they decide where a scan may stop, so they are examined
    // in a fixed order. Regular files wait until we know whether their sizes
    // matter at all.
    std::vector<DirEntry*> maybeFolders;
    std::vector<DirEntry*> regularFiles;
    for (DirEntry& entry : scratch) {
        switch (entry.kind) {
        case EntryKind::Folder:
        case EntryKind::Unknown:
            maybeFolders.push_back(&entry);
            break;
        case EntryKind::RegularFile:
            ++out.fileCount;
            regularFiles.push_back(&entry);
            break;
        case EntryKind::Other:
            countNonFolder(out, kUnexaminable);
            break;
        }
    }

    std::sort(maybeFolders.begin(), maybeFolders.end(),
              [](const DirEntry* a, const DirEntry* b) { return a->name < b->name; });
    for (DirEntry* entry : maybeFolders) {
        if (stop.stop_requested())
            return std::make_error_code(std::errc::operation_canceled);
        const EntryStatus status = fs.examine(folder, entry->name, ec);
        if (ec) {
            if (entry->kind == EntryKind::Folder) {
                failedName = entry->name;
                return ec;
            }
            // An entry of unknown type that can't be examined may hold data:
            // treat it as a file we could not measure.
            ec.clear();
            countNonFolder(out, kUnexaminable);
            continue;
        }
        const bool realFolder = status.kind == EntryKind::Folder && status.device == device && !status.mountRoot;
        if (realFolder)
            out.subFolders.push_back(std::move(entry->name));
        else if (status.kind == EntryKind::Folder)
            countNonFolder(out, kUnexaminable); // another file system: never entered
        else
            countNonFolder(out, status);
    }

    if (need == SizeNeed::None)
        return {};
    for (const DirEntry* entry : regularFiles) {
        if (need == SizeNeed::UntilNonZero && out.bytes != 0)
            break;
        if (stop.stop_requested())
            return std::make_error_code(std::errc::operation_canceled);
        const EntryStatus status = fs.examine(folder, entry->name, ec);
        // A file that vanished or can't be examined is of unknown size; one
        // byte keeps its folders from being taken for empty.
        out.bytes += ec ? 1 : (status.kind == EntryKind::RegularFile ? status.size : 1);
        ec.clear();
    }
    return {};
}

} // namespace cleaner
