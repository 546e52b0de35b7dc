// SPDX-License-Identifier: GPL-3.0-or-later
//
// The deletion benchmark: builds the same seeded tree three times, scans
// it, marks every listed folder and times, warm:
//   - the removal run in-process (what the window's worker does);
//   - efr-scan --delete -0, as a process, with the list on its input;
//   - the yardstick: unlink of the zero-byte files, then rmdir of the
//     folders, children first, by path, with nothing checked.
// It prints the times, the ratios, and what a list and a log of a million
// entries cost in memory.

#include "benchmarks.h"
#include "cleaner/deletion_log.h"
#include "cleaner/folder_list.h"
#include "cleaner/marking.h"
#include "cleaner/posix_file_system.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

bool isAtOrBeneath(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// What rmdir has to do to remove the listed folders: the zero-byte files in
// their trees, then every folder, children before parents.
struct RmdirPlan {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

RmdirPlan planRmdir(const std::vector<std::string>& listed) {
    RmdirPlan plan;
    std::string top;
    for (const std::string& path : listed) {
        if (!top.empty() && isAtOrBeneath(path, top))
            continue; // goes with the top's tree
        top = path;
        std::vector<std::string> folders{path};
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
            if (entry.is_directory() && !entry.is_symlink())
                folders.push_back(entry.path().string());
            else
                plan.files.push_back(entry.path().string());
        }
        plan.folders.insert(plan.folders.end(), folders.rbegin(), folders.rend());
    }
    return plan;
}

// Bytes the allocator has handed out, large blocks (mapped apart) included.
std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double mebibytes(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// A folder list and a deletion log of `count` entries, with texts as long
// as the tree's.
void reportListMemory(const std::vector<std::string>& sample, std::size_t count) {
    if (sample.empty() || count == 0)
        return;
    const std::size_t before = heapInUse();
    cleaner::FolderList list;
    std::vector<std::string> batch;
    for (std::size_t i = 0; i < count; ++i) {
        batch.push_back(sample[i % sample.size()]);
        if (batch.size() == 10000 || i + 1 == count)
            list.AddItems(std::exchange(batch, {}));
    }
    const std::size_t withList = heapInUse();
    cleaner::DeletionLog log;
    std::vector<cleaner::LogLine> lines;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& path = sample[i % sample.size()];
        lines.push_back(cleaner::LogLine{path + " has been deleted.", path.size(), true});
        if (lines.size() == 10000 || i + 1 == count) {
            log.AddItems(lines);
            lines.clear();
        }
    }
    std::vector<cleaner::LogLine>().swap(lines);
    const std::size_t withLog = heapInUse();
    double meanLength = 0;
    for (const std::string& path : sample)
        meanLength += static_cast<double>(path.size());
    meanLength /= static_cast<double>(sample.size());
    std::printf("memory for %zu entries (paths of %.0f bytes on average): list %.1f MiB, log %.1f MiB\n",
                count, meanLength, mebibytes(withList - before), mebibytes(withLog - withList));
}

} // namespace

int deletionBenchmark(const Options& options, Launcher& launcher) {
    testing_support::TempFolder temp("efr-bench");
    const std::string base = options.dir.empty() ? temp.path() : options.dir;
    if (!options.dir.empty() && ::mkdir(base.c_str(), 0755) != 0) {
        std::perror(("efr-bench: cannot create " + base).c_str());
        return 1;
    }
    const auto recipe = testing_support::randomTree(options.seed, options.shape);
    std::printf("trees: four of\n");
    describeTree(recipe, options.seed);
    const std::string trees[] = {base + "/in-process", base + "/efr-scan", base + "/rmdir", base + "/trash"};
    auto start = Clock::now();
    for (const std::string& tree : trees) {
        ::mkdir(tree.c_str(), 0755);
        testing_support::buildOnDisk(recipe, tree);
    }
    std::printf("  built in %.1f s\n", secondsSince(start));

    cleaner::PosixFileSystem fs;
    std::vector<std::string> listed[4];
    for (int i = 0; i < 4; ++i)
        listed[i] = testing_support::runScan(fs, trees[i]).found; // warms the cache too
    std::printf("  %zu listed folders in each\n", listed[0].size());
    const RmdirPlan plan = planRmdir(listed[2]);
    std::printf("  rmdir removes %zu zero-byte files and %zu folders\n", plan.files.size(),
                plan.folders.size());
    const std::string input = base + "/efr-scan.list";
    const std::string trashInput = base + "/efr-scan-trash.list";
    for (const auto& [file, paths] : {std::pair{&input, &listed[1]}, std::pair{&trashInput, &listed[3]}}) {
        std::ofstream out(*file, std::ios::binary);
        for (const std::string& path : *paths)
            out << path << '\0';
    }
    // The Trash of its own, on the trees' drive: moved there by rename.
    const std::string dataHome = base + "/data";
    ::mkdir(dataHome.c_str(), 0700);

    // In-process: the window's removal run, without the window.
    start = Clock::now();
    cleaner::FolderList List1;
    List1.AddItems(listed[0]);
    cleaner::ListBoxSelAll(List1);
    cleaner::DeletionLog List2;
    cleaner::DeletedFolders deleted;
    cleaner::ListBoxRemSel(List1, List2, fs, trees[0], deleted);
    const double inProcess = secondsSince(start);
    int notDeleted = 0;
    for (int i = 0; i < List2.ListCount(); ++i)
        notDeleted += List2.text(i).ends_with(" has been deleted.") ? 0 : 1;

    const ProcessRun tool = launcher.run({siblingProgram("efr-scan"), "--delete", "-0", trees[1]}, input);
    const ProcessRun trash = launcher.run(
        {"env", "XDG_DATA_HOME=" + dataHome, siblingProgram("efr-scan"), "--trash", "-0", trees[3]}, trashInput);

    start = Clock::now();
    for (const std::string& file : plan.files)
        ::unlink(file.c_str());
    for (const std::string& folder : plan.folders)
        ::rmdir(folder.c_str());
    const double rmdir = secondsSince(start);

    std::size_t left = 0;
    for (const std::string& tree : trees)
        left += testing_support::runScan(fs, tree).found.size();
    std::printf("  log: %d lines, %d not deleted; listed folders left in the four trees: %zu\n",
                List2.ListCount(), notDeleted, left);
    if (tool.exitCode != 0 || trash.exitCode != 0 || left != 0 || notDeleted != 0) {
        std::fprintf(stderr, "efr-bench: the removal did not remove every listed folder (efr-scan exit %d, %d)\n",
                     tool.exitCode, trash.exitCode);
        return 1;
    }

    std::printf("one run each, warm cache:\n");
    std::printf("  removal run (in-process)  %9.1f ms\n", inProcess * 1e3);
    std::printf("  efr-scan --delete -0      %9.1f ms  (peak memory %.1f MiB)\n", tool.seconds * 1e3,
                static_cast<double>(tool.peakKiB) / 1024.0);
    std::printf("  efr-scan --trash -0       %9.1f ms  (to a Trash on the same drive)\n", trash.seconds * 1e3);
    std::printf("  rmdir, children first     %9.1f ms\n", rmdir * 1e3);
    std::printf("ratio in-process/rmdir  %.2f\n", inProcess / rmdir);
    std::printf("ratio efr-scan/rmdir    %.2f\n", tool.seconds / rmdir);
    std::printf("ratio efr-scan --trash/rmdir  %.2f\n", trash.seconds / rmdir);
    reportListMemory(listed[0], options.memoryEntries);
    if (options.keep)
        temp.keep();
    return 0;
}

} // namespace bench
