// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class MemoryFileSystem;

enum class NodeKind : std::uint8_t {
    Folder,
    LockedFolder,   // can't be opened (mode 000 on disk)
    NoSearchFolder, // can be listed but nothing in it examined (mode 0444 on disk)
    File,
    Symlink,
    Fifo,
};

struct TreeNode {
    int parent = -1; // index of a folder node; -1 is the tree's root
    std::string name;
    NodeKind kind = NodeKind::Folder;
    std::uint64_t size = 0;
};

// A tree to build, in memory or on disk; parents come before their contents.
struct TreeRecipe {
    std::vector<TreeNode> nodes;
    std::string relativePath(int node) const;
    std::size_t count(NodeKind kind) const;
};

// What randomTree() makes. Shares are probabilities per node.
struct TreeShape {
    int folders = 40;
    int files = 60;
    int maxDepth = 6;
    double emptyBranchShare = 0.3; // folders whose tree gets only zero-byte files
    double zeroByteShare = 0.3;    // of the files elsewhere
    double hiddenShare = 0.2;      // names starting with "."
    double oddNameShare = 0.1;     // names with spaces, non-ASCII or invalid UTF-8 bytes
    double symlinkShare = 0.0;     // of the files
    double fifoShare = 0.0;        // of the files
    double lockedShare = 0.0;      // of the folders
    double noSearchShare = 0.0;    // of the folders
};

TreeRecipe randomTree(std::uint64_t seed, const TreeShape& shape);

// Builds the recipe under the folder `root`, which must exist.
void buildInMemory(const TreeRecipe& recipe, MemoryFileSystem& fs, const std::string& root);
// Throws std::system_error when the disk refuses a step.
void buildOnDisk(const TreeRecipe& recipe, const std::string& root);

} // namespace testing_support
