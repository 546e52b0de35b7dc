// SPDX-License-Identifier: GPL-3.0-or-later
//
// efr-scan: runs the window's scan and deletion from the command line, for
// maintainers.
//
//   efr-scan MAIN_FOLDER
//     Prints every empty folder beneath MAIN_FOLDER, one full path per line,
//     in list order. Exit status: 0 when the scan completed, 3 when it
//     stopped early (the reason goes to stderr), 2 on a usage error.
//
//   efr-scan --delete
//     Reads folder paths from standard input, one per line, marks them all
//     in a folder list in that order, runs the window's "Delete" on them and
//     prints the deletion log, one line per folder. Exit status 0.

#include "cleaner/deletion_log.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kCompleted = 0;
constexpr int kUsage = 2;
constexpr int kStopped = 3;

constexpr const char* kUsageText = "usage: efr-scan MAIN_FOLDER\n"
                                   "       efr-scan --delete   (folder paths on standard input)\n";

int usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

// Paths go out as their raw bytes, whatever their encoding.
void writeLines(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc('\n', stdout);
    }
}

int scan(const char* mainFolder) {
    cleaner::PosixFileSystem fileSystem;
    cleaner::EmptyFolderScan emptyFolderScan(fileSystem, mainFolder);
    const cleaner::ScanOutcome outcome =
        emptyFolderScan.run([](std::vector<std::string>&& batch) { writeLines(batch); });
    std::fflush(stdout);

    if (outcome.status != cleaner::ScanOutcome::Status::Completed) {
        std::fprintf(stderr, "scan stopped at %s: %s\n", outcome.stoppedAt.c_str(),
                     outcome.reason.message().c_str());
        return kStopped;
    }
    return kCompleted;
}

// Every line of standard input but empty ones, bytes as they are.
std::vector<std::string> readPaths() {
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    std::vector<std::string> paths;
    std::string::size_type start = 0;
    while (start < input.size()) {
        auto end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        if (end > start)
            paths.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

int deleteFolders() {
    cleaner::FolderList List1;
    List1.AddItems(readPaths());
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::PosixFileSystem fileSystem;
    cleaner::ListBoxRemSel(List1, List2, fileSystem);

    std::vector<std::string> lines;
    for (int i = 0; i < List2.ListCount(); ++i)
        lines.push_back(List2.List(i));
    writeLines(lines);
    return kCompleted;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc != 2 || std::string_view(argv[1]).empty())
        return usage();
    const std::string_view argument = argv[1];
    if (argument == "--help" || argument == "-h") {
        std::fputs(kUsageText, stdout);
        return kCompleted;
    }
    if (argument == "--delete")
        return deleteFolders();
    return scan(argv[1]);
}
