// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree_recipe.h"

#include "cleaner/path.h"
#include "support/memory_file_system.h"

#include <algorithm>
#include <array>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

std::string TreeRecipe::relativePath(int node) const {
    std::vector<int> chain;
    for (int at = node; at >= 0; at = nodes[static_cast<std::size_t>(at)].parent)
        chain.push_back(at);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += '/';
        path += nodes[static_cast<std::size_t>(*it)].name;
    }
    return path;
}

std::size_t TreeRecipe::count(NodeKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(nodes.begin(), nodes.end(), [kind](const TreeNode& n) { return n.kind == kind; }));
}

namespace {

bool isFolderKind(NodeKind kind) {
    return kind == NodeKind::Folder || kind == NodeKind::LockedFolder || kind == NodeKind::NoSearchFolder;
}

class Generator {
public:
    Generator(std::uint64_t seed, const TreeShape& shape) : m_rng(seed), m_shape(shape) {}

    TreeRecipe make() {
        for (int i = 0; i < m_shape.folders; ++i)
            addFolder();
        for (int i = 0; i < m_shape.files; ++i)
            addFile();
        return std::move(m_recipe);
    }

private:
    bool chance(double share) { return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < share; }
    int pick(std::size_t n) {
        return static_cast<int>(std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng));
    }
    int depthOf(int folder) const { return folder < 0 ? 0 : m_depth[static_cast<std::size_t>(folder)]; }
    bool inEmptyBranch(int folder) const {
        return folder >= 0 && m_emptyBranch[static_cast<std::size_t>(folder)];
    }

    // Names are unique by their counter; the prefix varies the byte order.
    std::string name(char letter) {
        static const std::array<const char*, 7> odd = {"a b ", "\xc3\xa9", "\xff\xfe", "-x",
                                                       "Z",    "~",        "\x01"};
        std::string prefix;
        if (chance(m_shape.hiddenShare))
            prefix.push_back('.');
        if (chance(m_shape.oddNameShare))
            prefix += odd[static_cast<std::size_t>(pick(odd.size()))];
        prefix.push_back(letter);
        prefix.append(std::to_string(m_counter++));
        return prefix;
    }

    int randomFolderOrRoot() {
        return m_folders.empty() || chance(0.05) ? -1 : m_folders[pick(m_folders.size())];
    }

    void addFolder() {
        int parent = -1;
        if (!m_folders.empty() && !chance(0.1))
            parent = chance(0.5) ? m_folders.back() : m_folders[pick(m_folders.size())];
        while (depthOf(parent) + 1 > m_shape.maxDepth)
            parent = randomFolderOrRoot();
        NodeKind kind = NodeKind::Folder;
        if (chance(m_shape.lockedShare))
            kind = NodeKind::LockedFolder;
        else if (chance(m_shape.noSearchShare))
            kind = NodeKind::NoSearchFolder;
        const int index = push(TreeNode{parent, name('d'), kind, 0});
        m_folders.push_back(index);
        m_depth[static_cast<std::size_t>(index)] = depthOf(parent) + 1;
        m_emptyBranch[static_cast<std::size_t>(index)] =
            inEmptyBranch(parent) || chance(m_shape.emptyBranchShare);
    }

    void addFile() {
        const int folder = randomFolderOrRoot();
        NodeKind kind = NodeKind::File;
        if (chance(m_shape.symlinkShare))
            kind = NodeKind::Symlink;
        else if (chance(m_shape.fifoShare))
            kind = NodeKind::Fifo;
        std::uint64_t size = 0;
        if (kind == NodeKind::File && !inEmptyBranch(folder) && !chance(m_shape.zeroByteShare))
            size = 1 + static_cast<std::uint64_t>(pick(4096));
        push(TreeNode{folder, name('f'), kind, size});
    }

    int push(TreeNode node) {
        m_recipe.nodes.push_back(std::move(node));
        m_depth.push_back(0);
        m_emptyBranch.push_back(false);
        return static_cast<int>(m_recipe.nodes.size()) - 1;
    }

    std::mt19937_64 m_rng;
    TreeShape m_shape;
    TreeRecipe m_recipe;
    std::vector<int> m_folders;
    std::vector<int> m_depth;
    std::vector<bool> m_emptyBranch;
    std::uint64_t m_counter = 0;
};

void check(int result, const std::string& what) {
    if (result != 0)
        throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

TreeRecipe randomTree(std::uint64_t seed, const TreeShape& shape) {
    return Generator(seed, shape).make();
}

void buildInMemory(const TreeRecipe& recipe, testing_support::MemoryFileSystem& fs, const std::string& root) {
    using Step = testing_support::MemoryFileSystem::Step;
    for (std::size_t i = 0; i < recipe.nodes.size(); ++i) {
        const TreeNode& node = recipe.nodes[i];
        const std::string path = cleaner::joinPath(root, recipe.relativePath(static_cast<int>(i)));
        if (isFolderKind(node.kind))
            fs.addFolder(path);
        else if (node.kind == NodeKind::File)
            fs.addFile(path, node.size);
        else
            fs.addOther(path);
        if (node.kind == NodeKind::LockedFolder)
            fs.failOn(path, Step::Open);
        // Everything inside a folder without search permission can be
        // listed by name but neither examined nor opened.
        const int parent = node.parent;
        if (parent >= 0 && recipe.nodes[static_cast<std::size_t>(parent)].kind == NodeKind::NoSearchFolder) {
            fs.failOn(path, Step::Examine);
            fs.failOn(path, Step::Open);
        }
    }
}

void buildOnDisk(const TreeRecipe& recipe, const std::string& root) {
    for (std::size_t i = 0; i < recipe.nodes.size(); ++i) {
        const TreeNode& node = recipe.nodes[i];
        const std::string path = cleaner::joinPath(root, recipe.relativePath(static_cast<int>(i)));
        switch (node.kind) {
        case NodeKind::Folder:
        case NodeKind::LockedFolder:
        case NodeKind::NoSearchFolder:
            check(::mkdir(path.c_str(), 0755), "mkdir " + path);
            break;
        case NodeKind::File: {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            check(fd < 0 ? -1 : 0, "create " + path);
            const int truncated = ::ftruncate(fd, static_cast<off_t>(node.size));
            ::close(fd);
            check(truncated, "size " + path);
            break;
        }
        case NodeKind::Symlink:
            check(::symlink("somewhere", path.c_str()), "symlink " + path);
            break;
        case NodeKind::Fifo:
            check(::mkfifo(path.c_str(), 0644), "mkfifo " + path);
            break;
        }
    }
    // Permissions last, deepest first, so that building could reach everything.
    for (std::size_t i = recipe.nodes.size(); i-- > 0;) {
        const TreeNode& node = recipe.nodes[i];
        const std::string path = cleaner::joinPath(root, recipe.relativePath(static_cast<int>(i)));
        if (node.kind == NodeKind::LockedFolder)
            check(::chmod(path.c_str(), 0), "chmod " + path);
        else if (node.kind == NodeKind::NoSearchFolder)
            check(::chmod(path.c_str(), 0444), "chmod " + path);
    }
}

} // namespace testing_support
