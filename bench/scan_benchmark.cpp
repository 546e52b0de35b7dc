// SPDX-License-Identifier: GPL-3.0-or-later
//
// The scan benchmark: builds a seeded random tree, warms the cache, then
// times in one run, alternating so that machine noise hits all alike:
//   - efr-scan, as a process (what a user runs), and the scan in-process;
//   - `find TREE -type d -empty`, as an outside yardstick;
//   - the slow reference scan, in-process (once: it is far behind).
// It prints the median of each, the median of the rounds' ratios, and
// efr-scan's peak memory.
// With --cold the page cache is dropped before every run; with --sshfs the
// tree is timed as a network drive (see LoopbackSshfs).

#include "benchmarks.h"
#include "cleaner/empty_folder_scan.h"
#include "cleaner/posix_file_system.h"
#include "loopback_sshfs.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Empties the page cache, so that the next run reads the disk as a first
// scan after boot does. Root only.
bool dropCaches() {
    ::sync();
    std::FILE* control = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!control)
        return false;
    const bool written = std::fputs("3", control) >= 0;
    return std::fclose(control) == 0 && written;
}

std::string findInPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

struct Contender {
    Contender(std::string name, std::vector<std::string> command)
        : name(std::move(name)), command(std::move(command)) {}
    std::string name;
    std::vector<std::string> command;
    std::vector<double> seconds;
    long peakKiB = 0;
};

// The floor lister to run: `given` itself, or, for a C source, a build of
// it next to efr-bench's other temporary files. "" when it can't be built.
std::string floorProgram(const std::string& given, Launcher& launcher) {
    if (!given.ends_with(".c"))
        return given;
    static testing_support::TempFolder build("efr-bench-floor");
    const std::string program = build / "floor";
    const ProcessRun cc = launcher.run({"cc", "-O2", "-pthread", "-o", program, given});
    if (cc.exitCode != 0) {
        std::fprintf(stderr, "efr-bench: cc could not build %s\n", given.c_str());
        return {};
    }
    return program;
}

} // namespace

int scanBenchmark(const Options& options, Launcher& launcher) {
    if (options.cold && ::geteuid() != 0) {
        std::fprintf(stderr,
                     "efr-bench: --cold drops the page cache before every run, which only root may do\n");
        return 2;
    }
    std::unique_ptr<testing_support::TempFolder> temp;
    std::string tree = options.existing.empty() ? options.dir : options.existing;
    const auto recipe = testing_support::randomTree(options.seed, options.shape);
    const TreeStats stats = statsOf(recipe);
    double folders = static_cast<double>(stats.folders);
    cleaner::PosixFileSystem fs;
    if (options.existing.empty()) {
        if (tree.empty()) {
            temp = std::make_unique<testing_support::TempFolder>("efr-bench");
            tree = *temp / "tree";
        }
        if (::mkdir(tree.c_str(), 0755) != 0) {
            std::fprintf(stderr, "efr-bench: cannot create %s: %s\n", tree.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("tree: %s\n", tree.c_str());
        describeTree(recipe, options.seed);
        const auto start = Clock::now();
        testing_support::buildOnDisk(recipe, tree);
        std::printf("  built in %.1f s\n", secondsSince(start));
    } else {
        std::printf("tree: %s (as it is)\n", tree.c_str());
        cleaner::EmptyFolderScan count(fs, tree);
        folders = static_cast<double>(count.run({}).foldersExamined);
        std::printf("  %.0f folders\n", folders);
    }

    std::unique_ptr<LoopbackSshfs> sshfs;
    if (options.sshfs) {
        try {
            sshfs = std::make_unique<LoopbackSshfs>(tree);
        } catch (const std::runtime_error& error) {
            std::fprintf(stderr, "efr-bench: %s\n", error.what());
            return 1;
        }
        std::printf("  served by sshd on 127.0.0.1, mounted afresh with sshfs for every run at %s\n",
                    sshfs->mountPoint().c_str());
    }
    // What the contenders scan: the tree itself, or the tree as the network drive shows it.
    const std::string scanned = sshfs ? sshfs->mountPoint() : tree;

    const std::string efrScan = siblingProgram("efr-scan");
    std::vector<Contender> contenders;
    contenders.push_back({"efr-scan", {efrScan, scanned}});
    for (const unsigned threads : options.threadCounts)
        contenders.push_back({"efr-scan --threads " + std::to_string(threads),
                              {efrScan, "--threads", std::to_string(threads), scanned}});
    if (options.withoutConfiguration)
        contenders.push_back({"efr-scan --no-configuration", {efrScan, "--no-configuration", scanned}});
    if (options.find)
        contenders.push_back({"find -type d -empty", {"find", scanned, "-type", "d", "-empty"}});
    if (!options.floor.empty()) {
        const std::string floor = floorProgram(options.floor, launcher);
        if (floor.empty())
            return 1;
        const std::string jobs = options.cold || sshfs ? "32" : std::to_string(std::thread::hardware_concurrency());
        contenders.push_back({"floor -j " + jobs, {floor, "-j", jobs, scanned}});
    }
    const std::string fdfind = findInPath("fdfind");
    if (!fdfind.empty())
        contenders.push_back(
            {"fdfind -j 32", {fdfind, "-j", "32", "-u", "--type", "empty", "--type", "d", ".", scanned}});
    // A fresh mount for every run on a network drive: its client starts cold.
    const auto runContender = [&](const Contender& contender) {
        if (sshfs)
            sshfs->mount();
        ProcessRun result = launcher.run(contender.command);
        if (sshfs)
            sshfs->unmount();
        return result;
    };

    // Warm the cache and count what each one finds.
    const testing_support::ScanResult listed = testing_support::runScan(fs, tree);
    std::printf("  scan lists %zu empty folders\n", listed.found.size());
    const bool reference = options.reference && !options.cold && !sshfs;
    if (reference) {
        const testing_support::ScanResult literal = testing_support::runLiteralScan(fs, tree);
        std::printf("  reference %s\n", literal == listed ? "agrees" : "DISAGREES");
        if (!(literal == listed))
            return 1;
    }
    for (Contender& contender : contenders)
        runContender(contender);

    std::vector<double> inProcess, literal;
    for (int run = 0; run < options.runs; ++run) {
        for (Contender& contender : contenders) {
            if (options.cold && !dropCaches()) {
                std::perror("efr-bench: cannot drop the page cache");
                return 1;
            }
            const ProcessRun result = runContender(contender);
            if (result.exitCode != 0) {
                std::fprintf(stderr, "efr-bench: %s exited with %d\n", contender.name.c_str(),
                             result.exitCode);
                return 1;
            }
            contender.seconds.push_back(result.seconds);
            contender.peakKiB = std::max(contender.peakKiB, result.peakKiB);
        }
        if (options.cold || sshfs)
            continue;
        auto start = Clock::now();
        cleaner::EmptyFolderScan scan(fs, tree);
        scan.run({});
        inProcess.push_back(secondsSince(start));
        if (reference && run == 0) { // slow, and far behind: once is enough
            start = Clock::now();
            testing_support::runLiteralScan(fs, tree);
            literal.push_back(secondsSince(start));
        }
    }

    std::printf("median of %d runs, %s:\n", options.runs,
                sshfs          ? "network drive (sshfs on 127.0.0.1: client cold, server warm)"
                : options.cold ? "cold cache (dropped before every run)"
                               : "warm cache");
    const auto line = [folders](const std::string& name, double seconds) {
        std::printf("  %-26s %9.1f ms  %11.0f folders/s\n", name.c_str(), seconds * 1e3, folders / seconds);
    };
    for (const Contender& contender : contenders)
        line(contender.name, median(contender.seconds));
    if (!options.cold && !sshfs)
        line("scan (in-process)", median(inProcess));
    if (reference)
        line("reference (1 run)", median(literal));
    // Each ratio is the median of the rounds' own ratios: contenders run in
    // turn within a round, so a machine whose speed drifts between rounds
    // (a shared one) moves both sides of a round's ratio alike.
    for (std::size_t i = 1; i < contenders.size(); ++i) {
        std::vector<double> ratios;
        for (std::size_t run = 0; run < contenders[i].seconds.size(); ++run)
            ratios.push_back(contenders.front().seconds[run] / contenders[i].seconds[run]);
        std::printf("ratio efr-scan / %-22s %.3f\n", contenders[i].name.c_str(), median(ratios));
    }
    if (reference)
        std::printf("ratio reference/scan %.1f  (in-process)\n", median(literal) / median(inProcess));
    std::printf("efr-scan peak memory %.1f MiB\n", static_cast<double>(contenders.front().peakKiB) / 1024.0);

    if (options.keep) {
        if (temp)
            temp->keep();
        std::printf("tree kept at %s\n", tree.c_str());
    } else if (!options.dir.empty() && options.existing.empty()) {
        testing_support::removeTree(tree);
    }
    return 0;
}

} // namespace bench
