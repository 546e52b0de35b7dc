// SPDX-License-Identifier: GPL-3.0-or-later
// The scan against the slow reference on many random trees, and the two
// file systems against each other on the same trees.
#include "cleaner/posix_file_system.h"
#include "support/memory_file_system.h"
#include "support/processes.h"
#include "support/scan_runs.h"
#include "support/temp_folder.h"
#include "support/tree_recipe.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testing_support::buildInMemory;
using testing_support::buildOnDisk;
using testing_support::describe;
using testing_support::randomTree;
using testing_support::runLiteralScan;
using testing_support::runScan;
using testing_support::ScanResult;
using testing_support::TreeShape;

namespace {

TreeShape shapeFor(std::uint64_t seed, bool withUnreadable) {
    TreeShape shape;
    shape.folders = 5 + static_cast<int>(seed % 40);
    shape.files = static_cast<int>((seed * 7) % 50);
    shape.maxDepth = 2 + static_cast<int>(seed % 6);
    shape.emptyBranchShare = 0.35;
    shape.zeroByteShare = 0.4;
    shape.symlinkShare = 0.05;
    shape.fifoShare = 0.03;
    if (withUnreadable) {
        shape.lockedShare = 0.03;
        shape.noSearchShare = 0.02;
    }
    return shape;
}

// Paths under `from` rewritten to lie under `to`, so that lists taken on
// different file systems compare.
ScanResult moved(ScanResult result, const std::string& from, const std::string& to) {
    for (std::string& path : result.found)
        path = to + path.substr(from.size());
    if (!result.stoppedAt.empty())
        result.stoppedAt = to + result.stoppedAt.substr(from.size());
    return result;
}

ScanResult scanInMemory(const testing_support::TreeRecipe& recipe) {
    testing_support::MemoryFileSystem fs;
    fs.addFolder("/M");
    buildInMemory(recipe, fs, "/M");
    return runScan(fs, "/M");
}

// Fast scan and reference on disk; "" when they agree, else both lists.
std::string compareOnDisk(const std::string& main, std::uint64_t seed) {
    cleaner::PosixFileSystem fs;
    const ScanResult fast = runScan(fs, main);
    const ScanResult literal = runLiteralScan(fs, main);
    if (fast == literal)
        return "";
    return "seed " + std::to_string(seed) + "\nscan:\n" + describe(fast) + "reference:\n" + describe(literal);
}

} // namespace

TEST(ScanDifferential, AgreesWithTheReferenceOnRandomTreesInMemory) {
    int stopped = 0;
    int listed = 0;
    for (std::uint64_t seed = 1; seed <= 600; ++seed) {
        const auto recipe = randomTree(seed, shapeFor(seed, true));
        testing_support::MemoryFileSystem fs;
        fs.addFolder("/M");
        buildInMemory(recipe, fs, "/M");
        fs.reportUnknownTypes(seed % 5 == 0);

        const ScanResult fast = runScan(fs, "/M");
        const ScanResult literal = runLiteralScan(fs, "/M");
        ASSERT_EQ(fast, literal) << "seed " << seed << "\nscan:\n"
                                 << describe(fast) << "reference:\n"
                                 << describe(literal);
        ASSERT_EQ(fs.openHandleCount(), 0u) << "seed " << seed;
        stopped += !fast.stoppedAt.empty();
        listed += static_cast<int>(fast.found.size());
    }
    // The trees must exercise both outcomes, or the comparison proves little.
    EXPECT_GT(stopped, 50);
    EXPECT_LT(stopped, 550);
    EXPECT_GT(listed, 1000);
}

TEST(ScanDifferential, AgreesWithTheReferenceAndTheMemoryFileSystemOnDisk) {
    for (std::uint64_t seed = 1; seed <= 120; ++seed) {
        const auto recipe = randomTree(seed, shapeFor(seed, false));
        testing_support::TempFolder temp;
        const std::string main = temp / "M";
        ASSERT_EQ(::mkdir(main.c_str(), 0755), 0);
        buildOnDisk(recipe, main);

        ASSERT_EQ(compareOnDisk(main, seed), "");
        cleaner::PosixFileSystem posix;
        const ScanResult onDisk = moved(runScan(posix, main), main, "/M");
        ASSERT_EQ(onDisk, scanInMemory(recipe)) << "seed " << seed;
    }
}

TEST(ScanDifferential, AgreesOnDiskWithUnreadableFoldersForAnOrdinaryUser) {
    int stopped = 0;
    for (std::uint64_t seed = 1000; seed < 1100; ++seed) {
        const auto recipe = randomTree(seed, shapeFor(seed, true));
        testing_support::TempFolder temp;
        const std::string main = temp / "M";
        ASSERT_EQ(::mkdir(main.c_str(), 0755), 0);
        buildOnDisk(recipe, main);

        ASSERT_EQ(testing_support::runUnprivileged([&] { return compareOnDisk(main, seed); }), "");
        const std::string inMemory = describe(scanInMemory(recipe));
        const std::string onDisk = testing_support::runUnprivileged([&] {
            cleaner::PosixFileSystem posix;
            return describe(moved(runScan(posix, main), main, "/M"));
        });
        ASSERT_EQ(onDisk, inMemory) << "seed " << seed;
        stopped += inMemory.find("stopped at") != std::string::npos;
    }
    EXPECT_GT(stopped, 10);
}
