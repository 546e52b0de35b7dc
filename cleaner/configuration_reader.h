// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_system.h"
#include "written_paths.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace cleaner {

// How much configuration one scan or removal run reads at most, whatever
// the tree holds: a home or a system with thousands of files is read as
// far as this goes, and the rest is not read.
struct ConfigurationBudget {
    static constexpr unsigned kFiles = 4000;
    static constexpr std::uint64_t kBytes = std::uint64_t{32} << 20;
    static constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 20;

    unsigned filesLeft = kFiles;
    std::uint64_t bytesLeft = kBytes;
    bool cut = false;       // a file was left unread for want of budget
    std::stop_token stop;   // once requested, nothing more is read

    // Whether a file of `size` bytes may still be read; counts it if so.
    bool take(std::uint64_t size) noexcept;
};

// A folder that a configuration file names.
struct ConfiguredFolder {
    WrittenPath written;
    std::string file; // the file that names it, relative to the folder read
    bool operator==(const ConfiguredFolder&) const = default;
};

// Reads the configuration files of a system root or a home for the folder
// paths they hold (pathsWrittenIn()), files in byte order of their names,
// each folder before what lies beneath it, each path once (the first file
// to name it wins). `from` and `folder` say where the folder is: the open
// folder holding it and its name, or kNoFolder and its path.
//
// A file counts when it is a regular file of at most 1 MiB whose first
// 4 KiB hold no NUL byte (text, not a database). Anything that can't be
// read is passed over: configuration that can't be read names nothing.
//
// Of a system: every regular file beneath its etc (links are not followed:
// they lead to certificates and programs).
std::vector<ConfiguredFolder> readSystemConfiguration(FileSystem& fs, FolderHandle from,
                                                      const std::string& folder, ConfigurationBudget& budget);
// Of a home: its hidden files (links to files too: dotfiles often are),
// the files directly inside its hidden folders (.ssh/config), and the
// files beneath .config down to .config/a/b/c/file; never what lies in
// .cache or .local, which hold data, not settings.
std::vector<ConfiguredFolder> readHomeConfiguration(FileSystem& fs, FolderHandle from,
                                                    const std::string& folder, ConfigurationBudget& budget);

} // namespace cleaner
