// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launcher.h"
#include "support/tree_recipe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Options {
    testing_support::TreeShape shape;
    std::uint64_t seed = 42;
    int runs = 5;
    std::string dir; // where to build the tree; a temporary folder if empty
    bool keep = false;
    bool reference = true;
    bool find = true;
    bool deletion = false;
    bool cold = false;                   // drop the page cache before every timed run
    bool sshfs = false;                  // time the tree as a network drive (sshfs on 127.0.0.1)
    std::string existing;                // time this tree as it stands instead of building one
    std::vector<unsigned> threadCounts;  // efr-scan --threads N contenders besides the default
    bool withoutConfiguration = false;   // time efr-scan --no-configuration beside
    std::string floor;                   // the floor lister, or its C source to build, to time beside
    std::size_t memoryEntries = 1000000; // the deletion benchmark's list-memory figure
};

// The scan on one tree, warm, against find and the reference scan.
int scanBenchmark(const Options& options, Launcher& launcher);
// A removal run over every listed folder of a tree, against rmdir.
int deletionBenchmark(const Options& options, Launcher& launcher);

// Prints the tree's size and shape.
void describeTree(const testing_support::TreeRecipe& recipe, std::uint64_t seed);

} // namespace bench
