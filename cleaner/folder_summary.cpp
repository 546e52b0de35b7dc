// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_summary.h"

#include "folder_keeper.h"
#include "fs_error.h"

#include <algorithm>
#include <iterator>
#include <atomic>
#include <system_error>
#include <thread>

namespace cleaner {

namespace {

// What an entry that is not a real folder weighs. Anything but a regular
// file weighs one byte, so that a tree holding it never totals zero; so
// does a zero-byte file that something needs (a .gitkeep).
std::uint64_t weightOf(std::string_view name, const EntryStatus& status) {
    if (status.kind != EntryKind::RegularFile)
        return 1;
    return status.size == 0 && isMarkerFile(name) ? 1 : status.size;
}

void countNonFolder(FolderSummary& out, std::string_view name, const EntryStatus& status) {
    ++out.fileCount;
    out.bytes += weightOf(name, status);
}

const EntryStatus kNotAFile{EntryKind::Other, 0, 0, false};

void note(FolderSummary& out, std::string_view name, EntryKind kind) {
    noteEntry(out.marks, name, kind == EntryKind::RegularFile, kind == EntryKind::Folder);
}

// An entry we could not look at may hold data: it weighs one byte.
void noteUnexaminable(FolderSummary& out, const std::string& name, std::error_code reason) {
    out.bytes += 1;
    if (!out.unexaminedReason) {
        out.unexaminedName = name;
        out.unexaminedReason = reason;
    }
}

struct Examined {
    EntryStatus status;
    std::error_code error;
};

// Examines `entries` on up to `threads` threads at once. A folder of
// thousands of subfolders on a cold disk otherwise waits for each one's
// inode in turn, and the first folder of a scan is read before anything
// else can start. Entries left when a stop is asked for stay unexamined.
std::vector<Examined> examineAll(FileSystem& fs, FolderHandle folder, const std::vector<DirEntry*>& entries,
                                 unsigned threads, std::stop_token stop) {
    std::vector<Examined> out(entries.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < entries.size() && !stop.stop_requested(); i = next++)
            out[i].status = fs.examine(folder, entries[i]->name, out[i].error);
    };
    {
        std::vector<std::jthread> helpers;
        try {
            for (unsigned i = 1; i < threads; ++i)
                helpers.emplace_back(work);
        } catch (const std::system_error&) {
            // No more threads to be had: those started, and this one, do it all.
        }
        work();
    }
    return out;
}

// Below this many entries to examine, starting threads costs more than it saves.
constexpr std::size_t kExaminedTogetherFrom = 256;

} // namespace

std::error_code listFolder(FileSystem& fs, FolderHandle folder, std::uint64_t device, FolderSummary& out,
                           std::vector<DirEntry>& scratch, std::string& failedName, std::stop_token stop,
                           unsigned examineThreads, bool listedFoldersAreReal) {
    out.subFolders.clear();
    out.regularFiles.clear();
    out.fileCount = 0;
    out.bytes = 0;
    out.unexaminedName.clear();
    out.unexaminedReason.clear();
    out.marks = 0;
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
    for (DirEntry& entry : scratch) {
        switch (entry.kind) {
        case EntryKind::Folder:
        case EntryKind::Unknown:
            maybeFolders.push_back(&entry);
            break;
        case EntryKind::RegularFile:
            note(out, entry.name, EntryKind::RegularFile);
            ++out.fileCount;
            out.regularFiles.push_back(std::move(entry.name));
            break;
        case EntryKind::Other:
            note(out, entry.name, EntryKind::Other);
            countNonFolder(out, entry.name, kNotAFile);
            break;
        }
    }

    std::sort(maybeFolders.begin(), maybeFolders.end(),
              [](const DirEntry* a, const DirEntry* b) { return a->name < b->name; });
    // A name listed twice (a broken or network file system) is one entry.
    maybeFolders.erase(std::unique(maybeFolders.begin(), maybeFolders.end(),
                                   [](const DirEntry* a, const DirEntry* b) { return a->name == b->name; }),
                       maybeFolders.end());
    // Where the caller knows that nothing beneath is mounted, what the
    // listing gives as a folder is one, on this file system.
    const auto takenAtItsWord = [listedFoldersAreReal](const DirEntry* entry) {
        return listedFoldersAreReal && entry->kind == EntryKind::Folder;
    };
    // Only a listing taken at its word leaves some entries out; otherwise
    // every one is examined, and no copy of the list is made.
    std::vector<DirEntry*> someOfThem;
    if (listedFoldersAreReal)
        std::copy_if(maybeFolders.begin(), maybeFolders.end(), std::back_inserter(someOfThem),
                     [&](const DirEntry* entry) { return !takenAtItsWord(entry); });
    const std::vector<DirEntry*>& toExamine = listedFoldersAreReal ? someOfThem : maybeFolders;
    std::vector<Examined> examined;
    if (examineThreads > 1 && toExamine.size() >= kExaminedTogetherFrom)
        examined = examineAll(fs, folder, toExamine, examineThreads, stop);
    // Taken in byte order of names whoever examined them, so the first entry
    // that can't be examined is the same either way.
    std::size_t examinedNext = 0;
    for (DirEntry* entry : maybeFolders) {
        if (stop.stop_requested())
            return std::make_error_code(std::errc::operation_canceled);
        if (takenAtItsWord(entry)) {
            note(out, entry->name, EntryKind::Folder);
            out.subFolders.push_back(std::move(entry->name));
            continue;
        }
        const std::size_t i = examinedNext++;
        EntryStatus status;
        if (examined.empty()) {
            status = fs.examine(folder, entry->name, ec);
        } else {
            status = examined[i].status;
            ec = examined[i].error;
        }
        if (ec) {
            if (entry->kind == EntryKind::Folder && !isMissing(ec)) {
                failedName = entry->name;
                return ec;
            }
            // An entry of unknown type that can't be examined, or one gone
            // since the listing: a file we could not measure.
            note(out, entry->name, EntryKind::Unknown);
            ++out.fileCount;
            noteUnexaminable(out, entry->name, ec);
            ec.clear();
            continue;
        }
        note(out, entry->name, status.kind);
        const bool realFolder =
            status.kind == EntryKind::Folder && status.device == device && !status.mountRoot;
        if (realFolder)
            out.subFolders.push_back(std::move(entry->name));
        else if (status.kind == EntryKind::Folder)
            countNonFolder(out, entry->name, kNotAFile); // another file system: never entered
        else
            countNonFolder(out, entry->name, status);
    }
    out.marks = lookCloser(fs, folder, "", out.marks);
    return {};
}

std::error_code measureFiles(FileSystem& fs, FolderHandle folder, SizeNeed need, FolderSummary& out,
                             std::stop_token stop) {
    if (need == SizeNeed::None)
        return {};
    std::error_code ec;
    for (const std::string& name : out.regularFiles) {
        if (need == SizeNeed::UntilNonZero && out.bytes != 0)
            break;
        if (stop.stop_requested())
            return std::make_error_code(std::errc::operation_canceled);
        const EntryStatus status = fs.examine(folder, name, ec);
        if (ec)
            noteUnexaminable(out, name, ec); // vanished, or can't be looked at
        else
            out.bytes += weightOf(name, status);
        ec.clear();
    }
    return {};
}

std::error_code summariseFolder(FileSystem& fs, FolderHandle folder, std::uint64_t device, SizeNeed need,
                                FolderSummary& out, std::vector<DirEntry>& scratch, std::string& failedName,
                                std::stop_token stop, unsigned examineThreads, bool listedFoldersAreReal) {
    const std::error_code ec =
        listFolder(fs, folder, device, out, scratch, failedName, stop, examineThreads, listedFoldersAreReal);
    return ec ? ec : measureFiles(fs, folder, need, out, stop);
}

} // namespace cleaner
