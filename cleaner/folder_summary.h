// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "keep_rule.h"

#include <cstdint>
#include <stop_token>
#include <string>
#include <system_error>
#include <vector>

namespace cleaner {

// How much of a folder's file sizes the caller needs to know.
enum class SizeNeed : std::uint8_t {
    None,         // counts only; regular files are not looked at
    UntilNonZero, // stop looking once anything of non-zero size turns up
    All,          // the exact total
};

// One folder's entries sorted into what the emptiness rule cares about.
struct FolderSummary {
    // Real folders on the folder's own file system, in byte order of names.
    std::vector<std::string> subFolders;
    // Every other entry: files, links, fifos, sockets, devices, mount points,
    // and entries that could not be examined.
    std::uint64_t fileCount = 0;
    // Lengths of the regular files looked at, plus one byte for every entry
    // that is neither a real folder nor a regular file, and for every
    // zero-byte marker file (isMarkerFile; see Folder::Size).
    std::uint64_t bytes = 0;
    // The first entry that could not be examined, if any, and why. It is
    // counted in `bytes`, since its size is unknown.
    std::string unexaminedName;
    std::error_code unexaminedReason;
    // The regular files, whose sizes listFolder() leaves for measureFiles().
    std::vector<std::string> regularFiles;
    // The entries the keep rule looks at (see noteEntry).
    EntryMarks marks = 0;
};

// Reads the open `folder`, which lies on file system `device`, into `out`,
// all but the sizes of regular files: summariseFolder() is listFolder()
// then measureFiles().
//
// Every subfolder entry is examined, in byte order of names, to tell real
// folders from mount points; the first one that can't be examined fails the
// call with `failedName` set to it. One that is gone since the listing
// counts as a file that could not be measured, and a name listed twice is
// one entry. A failed listing leaves `failedName` empty. `scratch` is
// reused between calls to spare allocations. With `examineThreads` above
// one, a folder of many subfolder entries has them examined on that many
// threads at once; the outcome is the same. With `listedFoldersAreReal`
// (FileSystem::listedFoldersAreReal() said so for a folder above), entries
// the listing gives as folders are taken as real folders unexamined.
std::error_code listFolder(FileSystem& fs, FolderHandle folder, std::uint64_t device, FolderSummary& out,
                           std::vector<DirEntry>& scratch, std::string& failedName,
                           std::stop_token stop = {}, unsigned examineThreads = 1,
                           bool listedFoldersAreReal = false);

// Adds the sizes of out.regularFiles to out.bytes, as far as `need` asks.
std::error_code measureFiles(FileSystem& fs, FolderHandle folder, SizeNeed need, FolderSummary& out,
                             std::stop_token stop = {});

std::error_code summariseFolder(FileSystem& fs, FolderHandle folder, std::uint64_t device, SizeNeed need,
                                FolderSummary& out, std::vector<DirEntry>& scratch, std::string& failedName,
                                std::stop_token stop = {}, unsigned examineThreads = 1,
                                bool listedFoldersAreReal = false);

} // namespace cleaner
