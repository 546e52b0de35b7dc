// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan_runs.h"

#include "cleaner/folder_list.h"
#include "literal_scan.h"

namespace testing_support {

ScanResult runScan(cleaner::FileSystem& fs, const std::string& mainFolder, std::stop_token stop,
                   unsigned threads) {
    cleaner::FolderList list;
    const cleaner::ScanOutcome outcome = cleaner::scanInto(fs, mainFolder, list, stop, threads);
    ScanResult result;
    for (int i = 0; i < list.ListCount(); ++i)
        result.found.push_back(list.List(i));
    result.stoppedAt = outcome.stoppedAt;
    result.reason = outcome.reason;
    return result;
}

ScanResult runLiteralScan(cleaner::FileSystem& fs, const std::string& mainFolder) {
    reference::LiteralScan scan(fs);
    scan.Dir1_Change(mainFolder);
    ScanResult result;
    for (int i = 0; i < scan.List1.ListCount(); ++i)
        result.found.push_back(scan.List1.List(i));
    if (scan.stoppedBy) {
        result.stoppedAt = scan.stoppedBy->path();
        result.reason = scan.stoppedBy->code();
    }
    return result;
}

std::string describe(const ScanResult& result) {
    std::string text;
    for (const std::string& path : result.found)
        text += "  " + path + "\n";
    if (!result.stoppedAt.empty())
        text += "  stopped at " + result.stoppedAt + ": " + result.reason.message() + "\n";
    return text;
}

} // namespace testing_support
