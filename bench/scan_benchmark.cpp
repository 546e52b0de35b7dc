// SPDX-License-Identifier: GPL-3.0-or-later
//
// The scan benchmark: builds a seeded random tree, warms the cache, then
// times in one run, alternating so that machine noise hits all alike:
//   - efr-scan, as a process (what a user runs), and the scan in-process;
//   - `find TREE -type d -empty`, as an outside yardstick;
//   - the slow reference scan, in-process (once: it is far behind).
// It prints the median of each, the ratios, and efr-scan's peak memory.

#include "benchmarks.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/posix_file_system.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

struct TreeStats {
    std::size_t folders = 0, files = 0, zeroByteFiles = 0;
    int deepest = 0;
    double meanDepth = 0;
};

TreeStats statsOf(const testing_support::TreeRecipe& recipe) {
    TreeStats stats;
    std::vector<int> depth(recipe.nodes.size());
    double depthSum = 0;
    for (std::size_t i = 0; i < recipe.nodes.size(); ++i) {
        const auto& node = recipe.nodes[i];
        depth[i] = node.parent < 0 ? 1 : depth[static_cast<std::size_t>(node.parent)] + 1;
        if (node.kind == testing_support::NodeKind::File) {
            ++stats.files;
            stats.zeroByteFiles += node.size == 0;
        } else {
            ++stats.folders;
            depthSum += depth[i];
            stats.deepest = std::max(stats.deepest, depth[i]);
        }
    }
    stats.meanDepth = stats.folders ? depthSum / static_cast<double>(stats.folders) : 0;
    return stats;
}

} // namespace

void describeTree(const testing_support::TreeRecipe& recipe, std::uint64_t seed) {
    const TreeStats stats = statsOf(recipe);
    std::printf(
        "  %zu folders, %zu files (%zu of zero bytes), deepest level %d, mean folder depth %.1f, seed %llu\n",
        stats.folders, stats.files, stats.zeroByteFiles, stats.deepest, stats.meanDepth,
        static_cast<unsigned long long>(seed));
}

int scanBenchmark(const Options& options, Launcher& launcher) {
    std::unique_ptr<testing_support::TempFolder> temp;
    std::string tree = options.dir;
    if (tree.empty()) {
        temp = std::make_unique<testing_support::TempFolder>("efr-bench");
        tree = *temp / "tree";
    }
    if (::mkdir(tree.c_str(), 0755) != 0) {
        std::fprintf(stderr, "efr-bench: cannot create %s: %s\n", tree.c_str(), std::strerror(errno));
        return 1;
    }

    const auto recipe = testing_support::randomTree(options.seed, options.shape);
    const TreeStats stats = statsOf(recipe);
    std::printf("tree: %s\n", tree.c_str());
    describeTree(recipe, options.seed);
    auto start = Clock::now();
    testing_support::buildOnDisk(recipe, tree);
    std::printf("  built in %.1f s\n", secondsSince(start));

    const std::string efrScan = siblingProgram("efr-scan");
    const std::vector<std::string> scanCommand{efrScan, tree};
    const std::vector<std::string> findCommand{"find", tree, "-type", "d", "-empty"};
    cleaner::PosixFileSystem fs;

    // Warm the cache and count what each one finds.
    const testing_support::ScanResult scanned = testing_support::runScan(fs, tree);
    std::printf("  scan lists %zu empty folders\n", scanned.found.size());
    if (options.find)
        launcher.run(findCommand);
    if (options.reference) {
        const testing_support::ScanResult literal = testing_support::runLiteralScan(fs, tree);
        std::printf("  reference %s\n", literal == scanned ? "agrees" : "DISAGREES");
        if (!(literal == scanned))
            return 1;
    }

    std::vector<double> process, inProcess, find, reference;
    long peakKiB = 0;
    for (int run = 0; run < options.runs; ++run) {
        const ProcessRun scanRun = launcher.run(scanCommand);
        if (scanRun.exitCode != 0) {
            std::fprintf(stderr, "efr-bench: efr-scan exited with %d\n", scanRun.exitCode);
            return 1;
        }
        process.push_back(scanRun.seconds);
        peakKiB = std::max(peakKiB, scanRun.peakKiB);

        start = Clock::now();
        cleaner::EmptyFolderScan scan(fs, tree);
        scan.run({});
        inProcess.push_back(secondsSince(start));

        if (options.find)
            find.push_back(launcher.run(findCommand).seconds);
        if (options.reference && run == 0) { // slow, and far behind: once is enough
            start = Clock::now();
            testing_support::runLiteralScan(fs, tree);
            reference.push_back(secondsSince(start));
        }
    }

    const double folders = static_cast<double>(stats.folders);
    std::printf("median of %d runs, warm cache:\n", options.runs);
    std::printf("  efr-scan (process)   %9.1f ms  %11.0f folders/s\n", median(process) * 1e3,
                folders / median(process));
    std::printf("  scan (in-process)    %9.1f ms  %11.0f folders/s\n", median(inProcess) * 1e3,
                folders / median(inProcess));
    if (options.find)
        std::printf("  find -type d -empty  %9.1f ms  %11.0f folders/s\n", median(find) * 1e3,
                    folders / median(find));
    if (options.reference)
        std::printf("  reference (1 run)    %9.1f ms  %11.0f folders/s\n", median(reference) * 1e3,
                    folders / median(reference));
    if (options.find)
        std::printf("ratio scan/find      %.3f  (efr-scan process against find)\n",
                    median(process) / median(find));
    if (options.reference)
        std::printf("ratio reference/scan %.1f  (in-process)\n", median(reference) / median(inProcess));
    std::printf("efr-scan peak memory %.1f MiB\n", static_cast<double>(peakKiB) / 1024.0);

    if (options.keep) {
        if (temp)
            temp->keep();
        std::printf("tree kept at %s\n", tree.c_str());
    } else if (!options.dir.empty()) {
        testing_support::removeTree(tree);
    }
    return 0;
}

} // namespace bench
