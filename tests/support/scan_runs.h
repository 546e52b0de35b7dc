// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/empty_folder_scan.h"
#include "cleaner/file_system.h"

#include <stop_token>
#include <string>
#include <vector>

namespace testing_support {

// What a scan showed: the list, and where it stopped ("" when it didn't).
struct ScanResult {
    std::vector<std::string> found;
    std::string stoppedAt;
    std::error_code reason;

    bool operator==(const ScanResult&) const = default;
};

// The scan the program runs, reading ahead on `threads` threads.
ScanResult runScan(cleaner::FileSystem& fs, const std::string& mainFolder, std::stop_token stop = {},
                   unsigned threads = cleaner::EmptyFolderScan::defaultReadAheadThreads());
// The slow reference scan.
ScanResult runLiteralScan(cleaner::FileSystem& fs, const std::string& mainFolder);
// One line per entry, and the stop, for readable failure messages.
std::string describe(const ScanResult& result);

} // namespace testing_support
