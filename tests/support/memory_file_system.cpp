// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory_file_system.h"

#include <algorithm>
#include <stdexcept>

#include <unistd.h>

namespace testing_support {

using cleaner::DirEntry;
using cleaner::EntryKind;
using cleaner::EntryStatus;
using cleaner::FolderHandle;
using cleaner::kNoFolder;

namespace {

constexpr std::uint64_t kMainDevice = 1;
constexpr std::uint64_t kOtherDevice = 2;

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> names;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find('/', start), path.size());
        if (end > start)
            names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

} // namespace

struct MemoryFileSystem::Node {
    std::string name;
    std::uint64_t inode = 1;
    EntryKind kind = EntryKind::Folder;
    bool mountPoint = false; // another file system that can't be entered
    bool volumeRoot = false; // another file system that can
    std::uint64_t device = kMainDevice;
    std::uint64_t size = 0;
    std::string text;
    std::map<Step, std::errc> failures;
    bool listedTwice = false; // its folder's listing names it twice
    std::uint32_t permissions = 0755;
    std::uint32_t owner = static_cast<std::uint32_t>(::geteuid()); // everything is the tester's
    unsigned listings = 0;    // times this folder has been listed
    std::vector<std::unique_ptr<Node>> children; // in the order added

    // The slot of the entry called `childName`, or children.end().
    auto slotOf(const std::string& childName) {
        return std::find_if(children.begin(), children.end(),
                            [&childName](const auto& c) { return c->name == childName; });
    }
    Node* child(const std::string& childName) const {
        for (const auto& c : children)
            if (c->name == childName)
                return c.get();
        return nullptr;
    }
    bool isFolder() const { return kind == EntryKind::Folder; }
    std::error_code failure(Step step) const {
        const auto it = failures.find(step);
        return it == failures.end() ? std::error_code{} : std::make_error_code(it->second);
    }
};

MemoryFileSystem::MemoryFileSystem() : m_root(std::make_unique<Node>()) {}
MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::Node* MemoryFileSystem::find(const std::string& path) const {
    return findFrom(m_root.get(), path);
}

MemoryFileSystem::Node* MemoryFileSystem::findFrom(Node* node, const std::string& path) const {
    for (const std::string& name : splitPath(path)) {
        if (name == ".")
            continue;
        if (!node->isFolder() || node->mountPoint)
            return nullptr;
        node = node->child(name);
        if (!node)
            return nullptr;
    }
    return node;
}

std::unique_ptr<MemoryFileSystem::Node>& MemoryFileSystem::slot(const std::string& path) {
    const std::vector<std::string> names = splitPath(path);
    if (names.empty())
        throw std::invalid_argument("MemoryFileSystem: the root has no slot");
    std::string parentPath;
    for (std::size_t i = 0; i + 1 < names.size(); ++i)
        parentPath += "/" + names[i];
    Node* parent = find(parentPath);
    if (parent)
        for (auto& child : parent->children)
            if (child->name == names.back())
                return child;
    throw std::invalid_argument("MemoryFileSystem: no entry at " + path);
}

MemoryFileSystem::Node* MemoryFileSystem::create(const std::string& path, EntryKind kind) {
    const std::vector<std::string> names = splitPath(path);
    if (names.empty())
        throw std::invalid_argument("MemoryFileSystem: cannot create the root");
    Node* node = m_root.get();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        if (!node->isFolder() || node->mountPoint)
            throw std::invalid_argument("MemoryFileSystem: not a folder on the way to " + path);
        Node* next = node->child(names[i]);
        if (next && last)
            throw std::invalid_argument("MemoryFileSystem: already exists: " + path);
        if (!next) {
            auto fresh = std::make_unique<Node>();
            fresh->name = names[i];
            fresh->inode = m_nextInode++;
            fresh->kind = last ? kind : EntryKind::Folder;
            fresh->device = node->device;
            next = fresh.get();
            node->children.push_back(std::move(fresh));
        }
        node = next;
    }
    return node;
}

void MemoryFileSystem::addFolder(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    create(path, EntryKind::Folder);
}

void MemoryFileSystem::addFile(const std::string& path, std::uint64_t size) {
    const std::lock_guard lock(m_mutex);
    create(path, EntryKind::RegularFile)->size = size;
}

void MemoryFileSystem::addTextFile(const std::string& path, const std::string& text) {
    const std::lock_guard lock(m_mutex);
    Node* node = create(path, EntryKind::RegularFile);
    node->size = text.size();
    node->text = text;
}

void MemoryFileSystem::addVolume(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    Node* node = create(path, EntryKind::Folder);
    node->volumeRoot = true;
    node->device = m_nextDevice++;
}

void MemoryFileSystem::addOther(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    create(path, EntryKind::Other);
}

void MemoryFileSystem::addMountPoint(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    Node* node = create(path, EntryKind::Folder);
    node->mountPoint = true;
    node->device = kOtherDevice;
}

void MemoryFileSystem::exchange(const std::string& a, const std::string& b) {
    const std::lock_guard lock(m_mutex);
    std::unique_ptr<Node>& first = slot(a);
    std::unique_ptr<Node>& second = slot(b);
    std::swap(first, second);
    std::swap(first->name, second->name);
}

void MemoryFileSystem::replaceWithLink(const std::string& path, const std::string& movedTo) {
    const std::lock_guard lock(m_mutex);
    create(movedTo, EntryKind::Folder);
    std::unique_ptr<Node>& original = slot(path);
    std::unique_ptr<Node>& placeholder = slot(movedTo);
    std::swap(original, placeholder);
    std::swap(original->name, placeholder->name);
    original->kind = EntryKind::Other; // the placeholder, now standing at `path`
}

void MemoryFileSystem::mountOn(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    Node* node = find(path);
    if (!node || !node->isFolder())
        throw std::invalid_argument("MemoryFileSystem: no folder at " + path);
    node->mountPoint = true;
    node->device = kOtherDevice;
}

bool MemoryFileSystem::exists(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    return find(path) != nullptr;
}

std::uint64_t MemoryFileSystem::fileSize(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = find(path);
    if (!node || node->kind != EntryKind::RegularFile)
        throw std::invalid_argument("MemoryFileSystem: no file at " + path);
    return node->size;
}

std::size_t MemoryFileSystem::openHandleCount() const {
    const std::lock_guard lock(m_mutex);
    return m_open.size();
}

std::uint64_t MemoryFileSystem::examinedFileCount() const {
    const std::lock_guard lock(m_mutex);
    return m_examinedFiles;
}

unsigned MemoryFileSystem::listingCount(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    const Node* node = find(path);
    if (!node)
        throw std::invalid_argument("MemoryFileSystem: no entry at " + path);
    return node->listings;
}

void MemoryFileSystem::failOn(const std::string& path, Step step, std::errc reason) {
    const std::lock_guard lock(m_mutex);
    Node* node = find(path);
    if (!node)
        throw std::invalid_argument("MemoryFileSystem: no entry at " + path);
    node->failures[step] = reason;
}

void MemoryFileSystem::listTwice(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    Node* node = find(path);
    if (!node)
        throw std::invalid_argument("MemoryFileSystem: no entry at " + path);
    node->listedTwice = true;
}

MemoryFileSystem::Node* MemoryFileSystem::handleNode(FolderHandle handle, std::error_code& ec) const {
    const auto it = m_open.find(handle);
    if (it == m_open.end()) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return nullptr;
    }
    return it->second;
}

FolderHandle MemoryFileSystem::track(Node* node) {
    const FolderHandle handle = m_nextHandle++;
    m_open.emplace(handle, node);
    return handle;
}

bool MemoryFileSystem::isFolder(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    const Node* node = find(path);
    return node && node->isFolder();
}

FolderHandle MemoryFileSystem::openFolder(const std::string& path, std::uint64_t& device,
                                          std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* node = find(path);
    if (!node)
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
    else if (!node->isFolder())
        ec = std::make_error_code(std::errc::not_a_directory);
    else
        ec = node->failure(Step::Open);
    if (ec)
        return -1;
    device = node->device;
    return track(node);
}

FolderHandle MemoryFileSystem::openSubFolder(FolderHandle parent, const std::string& name,
                                             std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* folder = handleNode(parent, ec);
    if (!folder)
        return -1;
    Node* node = folder->child(name);
    if (!node)
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
    else if (node->kind == EntryKind::Other)
        ec = std::make_error_code(std::errc::too_many_symbolic_link_levels); // what O_NOFOLLOW says
    else if (!node->isFolder())
        ec = std::make_error_code(std::errc::not_a_directory);
    else
        ec = node->failure(Step::Open);
    return ec ? -1 : track(node);
}

void MemoryFileSystem::readEntries(FolderHandle folder, std::vector<DirEntry>& out, std::error_code& ec,
                                   std::stop_token stop) {
    const std::lock_guard lock(m_mutex);
    Node* node = handleNode(folder, ec);
    if (!node)
        return;
    ec = node->failure(Step::List);
    if (ec)
        return;
    if (stop.stop_requested()) {
        ec = std::make_error_code(std::errc::operation_canceled);
        return;
    }
    ++node->listings;
    for (const auto& child : node->children)
        for (int times = child->listedTwice ? 2 : 1; times > 0; --times)
            out.push_back(DirEntry{child->name, m_unknownTypes ? EntryKind::Unknown : child->kind});
}

EntryStatus MemoryFileSystem::examine(FolderHandle parent, const std::string& name, std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* folder = handleNode(parent, ec);
    if (!folder)
        return {};
    const Node* node = folder->child(name);
    if (!node) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return {};
    }
    if (node->kind == EntryKind::RegularFile)
        ++m_examinedFiles;
    ec = node->failure(Step::Examine);
    if (ec)
        return {};
    return statusOf(*node);
}

EntryStatus MemoryFileSystem::statusOf(const Node& node) const {
    EntryStatus status{node.kind, node.size, node.device, node.inode, node.mountPoint || node.volumeRoot};
    status.mountId = node.device; // one mount per device: no bind mounts here
    status.permissions = node.permissions;
    status.owner = node.owner;
    return status;
}

void MemoryFileSystem::closeFolder(FolderHandle folder) noexcept {
    const std::lock_guard lock(m_mutex);
    m_open.erase(folder);
}

EntryStatus MemoryFileSystem::folderStatus(FolderHandle folder, std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    const Node* node = handleNode(folder, ec);
    if (!node)
        return {};
    ec.clear();
    EntryStatus status = statusOf(*node);
    status.size = 0;
    return status;
}

void MemoryFileSystem::removeEntry(FolderHandle parent, const std::string& name, bool folder,
                                   std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* node = handleNode(parent, ec);
    if (!node)
        return;
    const auto it = node->slotOf(name);
    if (it == node->children.end()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return;
    }
    const Node& entry = **it;
    if (folder && !entry.isFolder())
        ec = std::make_error_code(std::errc::not_a_directory);
    else if (!folder && entry.isFolder())
        ec = std::make_error_code(std::errc::is_a_directory);
    else if (entry.mountPoint)
        ec = std::make_error_code(std::errc::device_or_resource_busy);
    else if (!entry.children.empty())
        ec = std::make_error_code(std::errc::directory_not_empty);
    else
        ec = entry.failure(Step::Remove);
    if (ec)
        return;
    m_removed.push_back(std::move(*it));
    node->children.erase(it);
}

} // namespace testing_support

namespace testing_support {

void MemoryFileSystem::makePrivateFolder(FolderHandle parent, const std::string& name, std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* folder = handleNode(parent, ec);
    if (!folder)
        return;
    if (folder->child(name)) {
        ec = std::make_error_code(std::errc::file_exists);
        return;
    }
    ec = folder->failure(Step::Remove); // a folder that refuses removals refuses new entries too
    if (ec)
        return;
    auto fresh = std::make_unique<Node>();
    fresh->name = name;
    fresh->inode = m_nextInode++;
    fresh->device = folder->device;
    fresh->permissions = 0700;
    folder->children.push_back(std::move(fresh));
}

void MemoryFileSystem::moveEntry(FolderHandle from, const std::string& fromName, FolderHandle to,
                                 const std::string& toName, std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* source = handleNode(from, ec);
    Node* target = source ? handleNode(to, ec) : nullptr;
    if (!target)
        return;
    const auto it = source->slotOf(fromName);
    if (it == source->children.end()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return;
    }
    if (target->child(toName)) {
        ec = std::make_error_code(std::errc::file_exists);
        return;
    }
    ec = (*it)->failure(Step::Remove);
    if (ec)
        return;
    std::unique_ptr<Node> moving = std::move(*it);
    source->children.erase(it);
    moving->name = toName;
    target->children.push_back(std::move(moving));
}

void MemoryFileSystem::writeNewFile(FolderHandle folder, const std::string& name, const std::string& text,
                                    std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    Node* parent = handleNode(folder, ec);
    if (!parent)
        return;
    if (parent->child(name)) {
        ec = std::make_error_code(std::errc::file_exists);
        return;
    }
    ec = parent->failure(Step::Remove); // a folder that refuses removals refuses new entries too
    if (ec)
        return;
    auto fresh = std::make_unique<Node>();
    fresh->name = name;
    fresh->inode = m_nextInode++;
    fresh->kind = EntryKind::RegularFile;
    fresh->device = parent->device;
    fresh->size = text.size();
    fresh->text = text;
    fresh->permissions = 0600;
    parent->children.push_back(std::move(fresh));
}

void MemoryFileSystem::replaceFile(FolderHandle folder, const std::string& name, const std::string& text,
                                   std::error_code& ec) {
    {
        const std::lock_guard lock(m_mutex);
        Node* parent = handleNode(folder, ec);
        if (!parent)
            return;
        if (Node* existing = parent->child(name); existing && existing->kind == EntryKind::RegularFile) {
            ec = parent->failure(Step::Remove);
            if (!ec) {
                existing->text = text;
                existing->size = text.size();
            }
            return;
        }
    }
    writeNewFile(folder, name, text, ec);
}

} // namespace testing_support

namespace testing_support {

MemoryFileSystem::Node* MemoryFileSystem::resolve(FolderHandle from, const std::string& path,
                                                  std::error_code& ec) const {
    Node* start = m_root.get();
    if (from != kNoFolder) {
        start = handleNode(from, ec);
        if (!start)
            return nullptr;
    }
    Node* node = findFrom(start, path);
    ec = node ? std::error_code{} : std::make_error_code(std::errc::no_such_file_or_directory);
    return node;
}

EntryStatus MemoryFileSystem::lookUp(FolderHandle from, const std::string& path, bool /*followLast*/,
                                     std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    const Node* node = resolve(from, path, ec);
    if (!node)
        return {};
    ec = node->failure(Step::Examine);
    return ec ? EntryStatus{} : statusOf(*node);
}

std::string MemoryFileSystem::readTextFile(FolderHandle from, const std::string& path, std::size_t limit,
                                           std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    const Node* node = resolve(from, path, ec);
    if (!node)
        return {};
    if (node->kind != EntryKind::RegularFile)
        ec = std::make_error_code(std::errc::invalid_argument);
    else
        ec = node->failure(Step::Open);
    if (ec)
        return {};
    if (node->text.size() <= limit)
        return node->text;
    const std::size_t lastLineEnd = limit == 0 ? std::string::npos : node->text.rfind('\n', limit - 1);
    return node->text.substr(0, lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
}

std::string MemoryFileSystem::canonicalPath(const std::string& path, std::error_code& ec) {
    const std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    for (std::string& name : splitPath(path)) {
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (name != ".") {
            names.push_back(std::move(name));
        }
    }
    std::string canonical;
    for (const std::string& name : names) {
        canonical.push_back('/');
        canonical.append(name);
    }
    if (names.empty())
        canonical.push_back('/');
    const Node* node = find(canonical);
    ec = !node               ? std::make_error_code(std::errc::no_such_file_or_directory)
         : !node->isFolder() ? std::make_error_code(std::errc::not_a_directory)
                             : std::error_code{};
    return ec ? std::string{} : canonical;
}

bool MemoryFileSystem::listedFoldersAreReal(FolderHandle top, const std::string&) {
    const std::lock_guard lock(m_mutex);
    std::error_code ec;
    const Node* folder = handleNode(top, ec);
    if (!m_vouchForListings || ec)
        return false;
    const auto anotherFileSystemBeneath = [](const auto& self, const Node& node) -> bool {
        return std::any_of(node.children.begin(), node.children.end(), [&self](const auto& child) {
            return child->mountPoint || child->volumeRoot || self(self, *child);
        });
    };
    return !anotherFileSystemBeneath(anotherFileSystemBeneath, *folder);
}

} // namespace testing_support
