// SPDX-License-Identifier: GPL-3.0-or-later
//
// efr-scan: runs the window's scan from the command line, for maintainers.
//
//   efr-scan MAIN_FOLDER
//
// Prints every empty folder beneath MAIN_FOLDER, one full path per line, in
// list order. Exit status: 0 when the scan completed, 3 when it stopped early
// (the reason goes to stderr), 2 on a usage error.

#include "cleaner/empty_folder_scan.h"
#include "cleaner/posix_file_system.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kCompleted = 0;
constexpr int kUsage = 2;
constexpr int kStopped = 3;

int usage() {
    std::fputs("usage: efr-scan MAIN_FOLDER\n", stderr);
    return kUsage;
}

// Paths go out as their raw bytes, whatever their encoding.
void writeLines(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc('\n', stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string_view(argv[1]).empty())
        return usage();
    if (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h") {
        std::fputs("usage: efr-scan MAIN_FOLDER\n", stdout);
        return kCompleted;
    }

    cleaner::PosixFileSystem fileSystem;
    cleaner::EmptyFolderScan scan(fileSystem, argv[1]);
    const cleaner::ScanOutcome outcome = scan.run([](std::vector<std::string>&& batch) { writeLines(batch); });
    std::fflush(stdout);

    if (outcome.status != cleaner::ScanOutcome::Status::Completed) {
        std::fprintf(stderr, "scan stopped at %s: %s\n", outcome.stoppedAt.c_str(),
                     outcome.reason.message().c_str());
        return kStopped;
    }
    return kCompleted;
}
