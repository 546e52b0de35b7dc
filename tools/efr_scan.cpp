// SPDX-License-Identifier: GPL-3.0-or-later
//
// efr-scan: runs the window's scan and deletion from the command line, for
// maintainers.
//
//   efr-scan [-0] MAIN_FOLDER
//     Prints every empty folder beneath MAIN_FOLDER, one full path per line
//     (with -0, each ended by a NUL byte instead), in list order. Exit
//     status: 0 when the scan completed, 3 when it stopped early (the reason
//     goes to stderr), 2 on a usage error.
//
//   efr-scan --kept [-0] MAIN_FOLDER
//     Prints, instead of the list, the folders the scan kept because
//     something needs them, in walk order: "<path> was kept: <reason>." one
//     per line (NUL-ended with -0). When the main folder lies in a sealed
//     folder, one line for the main folder; a last line when configuration
//     files were left unread. Exit status as for the scan.
//
//   efr-scan --delete [-0] MAIN_FOLDER
//     Reads folder paths from standard input, one per line (with -0, ended
//     by NUL bytes), marks them all in a folder list in that order, runs the
//     window's "Delete" on them with MAIN_FOLDER as the main folder and
//     prints the deletion log, one line per folder (NUL-ended with -0). Only
//     folders beneath MAIN_FOLDER can go. Exit status 0.
//
//   efr-scan --trash [-0] MAIN_FOLDER
//     The same, but each folder moves to the desktop's Trash whole, as the
//     file manager moves it, and its log line says so.

#include "cleaner/deletion_log.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"
#include "cleaner/trash_can.h"
#include "cleaner/user_home.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kCompleted = 0;
constexpr int kUsage = 2;
constexpr int kStopped = 3;
constexpr unsigned kMaxThreads = 1024;

constexpr const char* kUsageText =
    "usage: efr-scan [-0] MAIN_FOLDER\n"
    "         prints the empty folders beneath MAIN_FOLDER, one per line\n"
    "       efr-scan --kept [-0] MAIN_FOLDER\n"
    "         prints the folders the scan leaves out because the system or a\n"
    "         program needs them, one per line: \"<path> was kept: <reason>.\"\n"
    "       efr-scan --delete [-0] MAIN_FOLDER\n"
    "         deletes the folders named on standard input, one per line, if they\n"
    "         are still empty, lie beneath MAIN_FOLDER and nothing needs them,\n"
    "         and prints the log\n"
    "       efr-scan --trash [-0] MAIN_FOLDER\n"
    "         the same, but moves the folders to the desktop's Trash, from where\n"
    "         the file manager can put them back\n"
    "  -0           paths (and log lines) end with a NUL byte instead of a newline,\n"
    "               so that any folder name passes through whole\n"
    "  --threads N  read folders ahead on N threads, 0 to 1024 (0: the walk reads\n"
    "               alone), for benchmarks; the default is what the window uses\n"
    "  --no-configuration\n"
    "               keep no folder for being named in a configuration file, to\n"
    "               measure what reading those files costs\n";

constexpr const char* kConfigurationCut =
    "Not every configuration file was read: a scan reads at most 4,000 of them and 32 MiB, so a folder that "
    "only the others name may be listed.";

int usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

// Paths go out as their raw bytes, whatever their encoding.
void writeLines(const std::vector<std::string>& paths, char end) {
    for (const std::string& path : paths) {
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc(end, stdout);
    }
}

// What the scan kept, as lines of their own.
std::vector<std::string> keptLines(const cleaner::ScanOutcome& outcome) {
    std::vector<std::string> lines;
    const auto add = [&lines](const cleaner::KeptFolder& kept) {
        lines.push_back(kept.path + " was kept: " + kept.reason + ".");
    };
    if (outcome.mainFolderKept)
        add(*outcome.mainFolderKept);
    for (const cleaner::KeptFolder& kept : outcome.kept)
        add(kept);
    if (outcome.configurationCut)
        lines.push_back(kConfigurationCut);
    return lines;
}

int scan(const std::string& mainFolder, char end, std::optional<unsigned> threads, bool printKept,
         bool readConfiguration) {
    cleaner::EmptyFolderScan emptyFolderScan(cleaner::systemFileSystem(), mainFolder);
    if (threads)
        emptyFolderScan.setReadAheadThreads(*threads);
    emptyFolderScan.setReadConfiguration(readConfiguration);
    const cleaner::ScanOutcome outcome =
        emptyFolderScan.run([end, printKept](std::vector<std::string>&& batch) {
            if (!printKept)
                writeLines(batch, end);
        });
    if (printKept)
        writeLines(keptLines(outcome), end);
    std::fflush(stdout);

    if (outcome.status != cleaner::ScanOutcome::Status::Completed) {
        std::fprintf(stderr, "scan stopped at %s: %s\n", outcome.stoppedAt.c_str(),
                     outcome.reason.message().c_str());
        return kStopped;
    }
    return kCompleted;
}

// A thread count as given after --threads: digits only, at most kMaxThreads.
std::optional<unsigned> threadCount(std::string_view text) {
    unsigned count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || count > kMaxThreads)
        return std::nullopt;
    return count;
}

// Every line of standard input but empty ones, bytes as they are.
std::vector<std::string> readPaths(char end) {
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    std::vector<std::string> paths;
    std::string::size_type start = 0;
    while (start < input.size()) {
        auto stop = input.find(end, start);
        if (stop == std::string::npos)
            stop = input.size();
        if (stop > start)
            paths.push_back(input.substr(start, stop - start));
        start = stop + 1;
    }
    return paths;
}

int deleteFolders(const std::string& mainFolder, char end, bool toTrash) {
    cleaner::FolderList List1;
    List1.AddItems(readPaths(end));
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::PosixFileSystem fileSystem;
    cleaner::DeletedFolders deleted;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    cleaner::TrashCan trash(fileSystem, cleaner::userHomeFolder(),
                            dataHome ? std::optional<std::string>(dataHome) : std::nullopt);
    cleaner::ListBoxRemSel(List1, List2, fileSystem, mainFolder, deleted, toTrash ? &trash : nullptr);

    std::vector<std::string> lines;
    for (int i = 0; i < List2.ListCount(); ++i)
        lines.push_back(List2.List(i));
    writeLines(lines, end);
    return kCompleted;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    bool deleting = false;
    bool trashing = false;
    bool printKept = false;
    bool readConfiguration = true;
    char end = '\n';
    std::optional<unsigned> threads; // as the window has them, by default
    std::optional<std::string> mainFolder;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsageText, stdout);
            return kCompleted;
        }
        if (argument == "--delete")
            deleting = true;
        else if (argument == "--trash")
            trashing = true;
        else if (argument == "--kept")
            printKept = true;
        else if (argument == "-0")
            end = '\0';
        else if (argument == "--no-configuration")
            readConfiguration = false;
        else if (argument == "--threads" && i + 1 < argc && (threads = threadCount(argv[i + 1])))
            ++i;
        else if (!argument.empty() && !mainFolder)
            mainFolder = std::string(argument);
        else
            return usage();
    }
    if (!mainFolder || deleting + trashing + printKept > 1)
        return usage();
    return deleting || trashing ? deleteFolders(*mainFolder, end, trashing)
                    : scan(*mainFolder, end, threads, printKept, readConfiguration);
}
