// SPDX-License-Identifier: GPL-3.0-or-later
//
// efr-bench: times the empty-folder scan on a synthetic tree.
//
// Builds a seeded random tree in a temporary folder, warms the cache, then
// times in one run, alternating so that machine noise hits all alike:
//   - efr-scan, as a process (what a user runs), and the scan in-process;
//   - `find TREE -type d -empty`, as an outside yardstick;
//   - the slow reference scan, in-process (once: it is far behind).
// It prints the median of each, the ratios, and efr-scan's peak memory.

#include "cleaner/empty_folder_scan.h"
#include "cleaner/posix_file_system.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"
#include "support/tree_recipe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    testing_support::TreeShape shape;
    std::uint64_t seed = 42;
    int runs = 5;
    std::string dir; // where to build the tree; a temporary folder if empty
    bool keep = false;
    bool reference = true;
    bool find = true;
};

void usage(const char* program) {
    std::printf("usage: %s [options]\n"
                "  --folders N       folders in the tree (default 100000)\n"
                "  --files N         files in the tree (default 250000)\n"
                "  --depth N         deepest level (default 14)\n"
                "  --empty-share F   share of folders whose tree holds only zero-byte files (default 0.05)\n"
                "  --seed N          seed of the tree (default 42)\n"
                "  --runs N          timed runs of each contender (default 5)\n"
                "  --dir PATH        build the tree here (must not exist) instead of a temporary folder\n"
                "  --keep            leave the tree on disk\n"
                "  --no-reference    skip the slow reference scan\n"
                "  --no-find         skip find\n",
                program);
}

bool parse(int argc, char** argv, Options& options) {
    options.shape.folders = 100000;
    options.shape.files = 250000;
    options.shape.maxDepth = 14;
    options.shape.emptyBranchShare = 0.05;
    options.shape.zeroByteShare = 0.2;
    options.shape.hiddenShare = 0.05;
    options.shape.oddNameShare = 0.02;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--folders" && (v = value()))
            options.shape.folders = std::atoi(v);
        else if (arg == "--files" && (v = value()))
            options.shape.files = std::atoi(v);
        else if (arg == "--depth" && (v = value()))
            options.shape.maxDepth = std::atoi(v);
        else if (arg == "--empty-share" && (v = value()))
            options.shape.emptyBranchShare = std::atof(v);
        else if (arg == "--seed" && (v = value()))
            options.seed = std::strtoull(v, nullptr, 10);
        else if (arg == "--runs" && (v = value()))
            options.runs = std::max(1, std::atoi(v));
        else if (arg == "--dir" && (v = value()))
            options.dir = v;
        else if (arg == "--keep")
            options.keep = true;
        else if (arg == "--no-reference")
            options.reference = false;
        else if (arg == "--no-find")
            options.find = false;
        else
            return false;
    }
    return options.shape.folders > 0 && options.shape.files >= 0 && options.shape.maxDepth > 0;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct ProcessRun {
    double seconds = 0;
    long peakKiB = 0;
    int exitCode = -1;
};

// Starts programs for the benchmark from a small helper process forked
// before the tree is generated. The kernel's peak-memory figure for a child
// includes what it inherited at fork time, so children forked straight from
// this (large) process would all appear to use as much memory as it does.
class Launcher {
public:
    Launcher() {
        int toHelper[2], fromHelper[2];
        if (::pipe(toHelper) != 0 || ::pipe(fromHelper) != 0) {
            std::perror("efr-bench: pipe");
            std::exit(1);
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(toHelper[1]);
            ::close(fromHelper[0]);
            serve(toHelper[0], fromHelper[1]);
            ::_exit(0);
        }
        ::close(toHelper[0]);
        ::close(fromHelper[1]);
        m_requests = toHelper[1];
        m_replies = fromHelper[0];
    }
    ~Launcher() {
        ::close(m_requests);
        ::close(m_replies);
        ::waitpid(m_pid, nullptr, 0);
    }

    // Runs a program with its output thrown away; times it and reads its
    // peak resident memory.
    ProcessRun run(const std::vector<std::string>& argv) {
        std::string request;
        for (const std::string& arg : argv)
            request.append(arg).push_back('\0');
        const std::uint32_t length = static_cast<std::uint32_t>(request.size());
        ProcessRun result;
        if (!writeAll(m_requests, &length, sizeof length) || !writeAll(m_requests, request.data(), length) ||
            !readAll(m_replies, &result, sizeof result))
            result.exitCode = -1;
        return result;
    }

private:
    static bool writeAll(int fd, const void* data, std::size_t size) {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd, bytes, size);
            if (n <= 0)
                return false;
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    static bool readAll(int fd, void* data, std::size_t size) {
        char* bytes = static_cast<char*>(data);
        while (size > 0) {
            const ssize_t n = ::read(fd, bytes, size);
            if (n <= 0)
                return false;
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    static void serve(int requests, int replies) {
        std::uint32_t length = 0;
        while (readAll(requests, &length, sizeof length)) {
            std::string request(length, '\0');
            if (!readAll(requests, request.data(), length))
                return;
            std::vector<char*> args;
            for (std::size_t at = 0; at < request.size(); at = request.find('\0', at) + 1)
                args.push_back(request.data() + at);
            args.push_back(nullptr);

            ProcessRun result;
            const auto start = Clock::now();
            const pid_t child = ::fork();
            if (child == 0) {
                const int devNull = ::open("/dev/null", O_WRONLY);
                ::dup2(devNull, STDOUT_FILENO);
                ::execvp(args[0], args.data());
                ::_exit(127);
            }
            int status = 0;
            rusage usage{};
            ::wait4(child, &status, 0, &usage);
            result.seconds = secondsSince(start);
            result.peakKiB = usage.ru_maxrss;
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (!writeAll(replies, &result, sizeof result))
                return;
        }
    }

    pid_t m_pid = -1;
    int m_requests = -1;
    int m_replies = -1;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string siblingProgram(const char* name) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

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

int main(int argc, char** argv) {
    Options options;
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        usage(argv[0]);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        usage(argv[0]);
        return 2;
    }
    Launcher launcher; // while this process is still small

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
    std::printf(
        "  %zu folders, %zu files (%zu of zero bytes), deepest level %d, mean folder depth %.1f, seed %llu\n",
        stats.folders, stats.files, stats.zeroByteFiles, stats.deepest, stats.meanDepth,
        static_cast<unsigned long long>(options.seed));
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
