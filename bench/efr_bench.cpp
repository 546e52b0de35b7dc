// SPDX-License-Identifier: GPL-3.0-or-later
//
// efr-bench: times the empty-folder scan, or a deletion run, on synthetic
// trees. See --help.

#include "benchmarks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using bench::Options;

void usage(const char* program) {
    std::printf("usage: %s [--delete] [options]\n"
                "  By default, times the scan on a warm tree against find and the reference scan.\n"
                "  --delete          times a removal run over every listed folder instead, in-process\n"
                "                    and as efr-scan --delete and --trash, against rmdir of the same\n"
                "                    folders (children first, zero-byte files first), on identical trees\n"
                "  --folders N       folders in the tree (default 100000; 210000 with --delete)\n"
                "  --files N         files in the tree (default 250000; 60000 with --delete)\n"
                "  --depth N         deepest level (default 14)\n"
                "  --empty-share F   share of folders whose tree holds only zero-byte files\n"
                "                    (default 0.05; 0.35 with --delete)\n"
                "  --seed N          seed of the tree (default 42)\n"
                "  --runs N          timed runs of each contender (default 5; with --delete, 1)\n"
                "  --dir PATH        build the tree here (must not exist) instead of a temporary folder\n"
                "  --keep            leave the tree on disk\n"
                "  --no-reference    skip the slow reference scan\n"
                "  --no-find         skip find\n"
                "  --memory N        with --delete: entries in the list-memory figure (default 1000000)\n"
                "  --cold            drop the page cache before every timed run (root only); times\n"
                "                    efr-scan, find and, when installed, fdfind -j 32\n"
                "  --sshfs           time the tree as a network drive (root only): an sshd of its own on\n"
                "                    127.0.0.1 serves it, sshfs mounts it read-only afresh for every run\n"
                "                    (client cold, server warm); installs openssh-server and sshfs from\n"
                "                    Debian when missing; keys and settings stay in its temporary folder\n"
                "  --threads N,M,..  also time efr-scan --threads N, M, ... side by side\n"
                "  --without-configuration\n"
                "                    also time efr-scan --no-configuration side by side: what reading\n"
                "                    the configuration files that name folders costs\n"
                "  --tree PATH       time an existing tree as it stands instead of building one\n"
                "  --floor PATH      also time the floor lister (a program, or floor.c to build with cc),\n"
                "                    which only opens and reads every folder: no exact scan can beat it;\n"
                "                    -j (processors) warm, -j 32 with --cold or --sshfs\n"
                "  Every run also times fdfind -j 32 when fd-find is installed.\n",
                program);
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--delete")
            options.deletion = true;
    testing_support::TreeShape& shape = options.shape;
    shape.folders = options.deletion ? 210000 : 100000;
    shape.files = options.deletion ? 60000 : 250000;
    shape.maxDepth = 14;
    shape.emptyBranchShare = options.deletion ? 0.35 : 0.05;
    shape.zeroByteShare = 0.2;
    shape.hiddenShare = 0.05;
    shape.oddNameShare = 0.02;
    options.runs = options.deletion ? 1 : 5;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--delete")
            continue;
        if (arg == "--folders" && (v = value()))
            shape.folders = std::atoi(v);
        else if (arg == "--files" && (v = value()))
            shape.files = std::atoi(v);
        else if (arg == "--depth" && (v = value()))
            shape.maxDepth = std::atoi(v);
        else if (arg == "--empty-share" && (v = value()))
            shape.emptyBranchShare = std::atof(v);
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
        else if (arg == "--without-configuration")
            options.withoutConfiguration = true;
        else if (arg == "--cold")
            options.cold = true;
        else if (arg == "--sshfs")
            options.sshfs = true;
        else if (arg == "--tree" && (v = value()))
            options.existing = v;
        else if (arg == "--threads" && (v = value())) {
            for (const char* at = v; *at;) {
                char* end = nullptr;
                options.threadCounts.push_back(static_cast<unsigned>(std::strtoul(at, &end, 10)));
                if (end == at)
                    return false;
                at = *end == ',' ? end + 1 : end;
            }
        } else if (arg == "--floor" && (v = value())) {
            options.floor = v;
        } else if (arg == "--memory" && (v = value()))
            options.memoryEntries = std::strtoull(v, nullptr, 10);
        else
            return false;
    }
    // A network drive's client starts cold by itself; its server stays warm.
    return shape.folders > 0 && shape.files >= 0 && shape.maxDepth > 0 && !(options.cold && options.sshfs);
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
    bench::Launcher launcher; // while this process is still small
    return options.deletion ? bench::deletionBenchmark(options, launcher)
                            : bench::scanBenchmark(options, launcher);
}
