// SPDX-License-Identifier: GPL-3.0-or-later
#include "trash_can.h"

#include "fs_error.h"
#include "path.h"
#include "removal_outcome.h"

#include <cstdio>
#include <ctime>

#include <unistd.h>

namespace cleaner {

namespace {

constexpr std::uint32_t kSticky = 01000;
constexpr int kNameAttempts = 8;
constexpr std::size_t kLargestDirectorySizes = std::size_t{16} << 20;

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string lastNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::error_code noTrash() {
    return std::make_error_code(std::errc::no_such_device_or_address);
}

} // namespace

struct TrashCan::Trash {
    std::string path;   // real
    std::string topdir; // a drive's own Trash: Path= is relative to it; empty for the home Trash
    std::uint64_t mountId = 0;
    EntryStatus identity; // of the Trash folder itself
    OpenFolder folder, files, info;
    std::vector<DirectorySize> added;
    std::vector<std::string> dropped;
};

TrashCan::TrashCan(FileSystem& fs, std::optional<std::string> home, std::optional<std::string> dataHome)
    : m_fs(fs), m_uid(static_cast<std::uint32_t>(::geteuid())), m_random(std::random_device{}()) {
    std::error_code ec;
    if (dataHome && dataHome->starts_with('/')) {
        const EntryStatus status = m_fs.lookUp(kNoFolder, *dataHome, true, ec);
        if (!ec && status.kind == EntryKind::Folder && status.owner == m_uid)
            m_homeTrash = joinPath(*dataHome, "Trash");
    }
    if (m_homeTrash.empty() && home)
        m_homeTrash = joinPath(*home, ".local/share/Trash");
}

TrashCan::~TrashCan() {
    finish();
}

// Opens the Trash at `path`, making what is missing of it (private to the
// user), each name opened through the one above and never through a link.
// The folders above the first one missing are taken as they are: the home
// the user has.
TrashCan::Trash* TrashCan::openTrash(const std::string& path, const std::string& topdir) {
    std::error_code ec;
    // One that was opened before is used again while it still stands: an
    // emptied and remade Trash is opened afresh.
    if (const auto known = m_trashes.find(path); known != m_trashes.end()) {
        const EntryStatus now = m_fs.lookUp(kNoFolder, path, false, ec);
        if (!ec && now.sameEntryAs(known->second->identity))
            return known->second.get();
        known->second->added.clear(); // its directorysizes went with it
        m_trashes.erase(known);
    }
    std::vector<std::string> missing;
    std::string existing = path;
    for (; existing != "/"; existing = parentOf(existing)) {
        m_fs.lookUp(kNoFolder, existing, false, ec);
        if (!ec)
            break;
        if (!isMissing(ec))
            return nullptr;
        missing.insert(missing.begin(), lastNameOf(existing));
    }
    std::uint64_t device = 0;
    OpenFolder folder = m_fs.open(existing, device, ec);
    if (ec)
        return nullptr;
    // Where the Trash itself stands already, it must be a real folder: opened
    // again through the folder above it, so that a link is refused.
    if (missing.empty() && existing != "/") {
        folder = m_fs.open(parentOf(existing), device, ec);
        if (!ec)
            folder = m_fs.openSub(folder.get(), lastNameOf(existing), ec);
        if (ec)
            return nullptr;
    }
    for (const std::string& name : missing) {
        m_fs.makePrivateFolder(folder.get(), name, ec);
        if (ec && ec != std::errc::file_exists)
            return nullptr;
        folder = m_fs.openSub(folder.get(), name, ec);
        if (ec)
            return nullptr;
    }
    const EntryStatus status = m_fs.folderStatus(folder.get(), ec);
    if (ec || status.owner != m_uid)
        return nullptr; // another user's, or something put there to catch ours
    auto trash = std::make_unique<Trash>();
    trash->path = path;
    trash->topdir = topdir;
    trash->mountId = status.mountId;
    trash->identity = status;
    for (auto [name, into] : {std::pair{"files", &trash->files}, std::pair{"info", &trash->info}}) {
        m_fs.makePrivateFolder(folder.get(), name, ec);
        if (ec && ec != std::errc::file_exists)
            return nullptr;
        *into = m_fs.openSub(folder.get(), name, ec);
        if (ec || m_fs.folderStatus(into->get(), ec).mountId != status.mountId || ec)
            return nullptr;
    }
    trash->folder = std::move(folder);
    return m_trashes.emplace(path, std::move(trash)).first->second.get();
}

TrashCan::Trash* TrashCan::trashFor(const std::string& realPath, const EntryStatus& status) {
    std::error_code ec;
    // The home Trash, when it lies (or would lie) on the folder's mount;
    // when it can't be used there, no other one is.
    if (!m_homeTrash.empty()) {
        std::string nearest = m_homeTrash;
        EntryStatus there = m_fs.lookUp(kNoFolder, nearest, true, ec);
        while (ec && isMissing(ec) && nearest != "/") {
            nearest = parentOf(nearest);
            there = m_fs.lookUp(kNoFolder, nearest, true, ec);
        }
        if (!ec && there.mountId == status.mountId) {
            if (Trash* home = openTrash(m_homeTrash, {}); home && home->mountId == status.mountId)
                return home;
            m_whyNot = "the Trash at " + m_homeTrash + " can't be used";
            return nullptr;
        }
    }
    // The drive's own: its top folder is the highest one on the same mount.
    std::string topdir = parentOf(realPath);
    while (topdir != "/") {
        const EntryStatus above = m_fs.lookUp(kNoFolder, parentOf(topdir), false, ec);
        if (ec || above.mountId != status.mountId)
            break;
        topdir = parentOf(topdir);
    }
    const std::string uid = std::to_string(m_uid);
    const EntryStatus shared = m_fs.lookUp(kNoFolder, joinPath(topdir, ".Trash"), false, ec);
    if (!ec && shared.kind == EntryKind::Folder && (shared.permissions & kSticky) != 0)
        if (Trash* own = openTrash(joinPath(topdir, ".Trash/" + uid), topdir); own && own->mountId == status.mountId)
            return own;
    if (Trash* own = openTrash(joinPath(topdir, ".Trash-" + uid), topdir); own && own->mountId == status.mountId)
        return own;
    m_whyNot = "no Trash could be made on the drive at " + topdir;
    return nullptr;
}

std::error_code TrashCan::moveIn(FolderHandle parent, const std::string& name, const std::string& realPath,
                                 const EntryStatus& status, TrashedItem& item) {
    Trash* trash = trashFor(realPath, status);
    if (!trash)
        return noTrash();
    TrashInfo info;
    info.path = trash->topdir.empty() ? realPath
                                      : realPath.substr(trash->topdir.size() + (trash->topdir == "/" ? 0 : 1));
    info.deletionDate = trashDate(std::time(nullptr));
    const std::string text = trashInfoText(info);
    std::error_code ec;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        // The folder's own name first; when it is taken, a random suffix
        // finds a free one at the first try, however many share the name.
        char suffix[12];
        std::snprintf(suffix, sizeof suffix, ".%08llx", static_cast<unsigned long long>(m_random() & 0xffffffffU));
        const std::string candidate = attempt == 0 ? trashItemName(name) : trashItemName(name, suffix);
        m_fs.writeNewFile(trash->info.get(), infoName(candidate), text, ec);
        if (ec == std::errc::file_exists)
            continue;
        if (ec)
            return ec;
        m_fs.moveEntry(parent, name, trash->files.get(), candidate, ec);
        if (ec) {
            std::error_code ignored;
            m_fs.removeEntry(trash->info.get(), infoName(candidate), false, ignored);
            if (ec == std::errc::file_exists)
                continue; // an item without an info file, left by someone else
            return ec == std::errc::cross_device_link ? noTrash() : ec;
        }
        item = TrashedItem{trash->path, candidate, realPath, status, {}};
        trash->added.push_back(DirectorySize{0, static_cast<std::int64_t>(std::time(nullptr)), candidate});
        return {};
    }
    return std::make_error_code(std::errc::file_exists);
}

OpenFolder TrashCan::openItem(const TrashedItem& item, std::error_code& ec) {
    const auto known = m_trashes.find(item.trash);
    if (known == m_trashes.end()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return {};
    }
    OpenFolder folder = m_fs.openSub(known->second->files.get(), item.name, ec);
    if (!ec && !m_fs.folderStatus(folder.get(), ec).sameEntryAs(item.identity) && !ec)
        ec = make_error_code(RemovalError::ChangedMeanwhile);
    return ec ? OpenFolder() : std::move(folder);
}

std::error_code TrashCan::putBack(const TrashedItem& item) {
    const auto known = m_trashes.find(item.trash);
    if (known == m_trashes.end())
        return make_error_code(RemovalError::NotInTrash);
    Trash& trash = *known->second;
    std::error_code ec;
    const EntryStatus there = m_fs.examine(trash.files.get(), item.name, ec);
    if (ec || !there.sameEntryAs(item.identity))
        return make_error_code(RemovalError::NotInTrash); // emptied, restored or replaced meanwhile
    std::uint64_t device = 0;
    const OpenFolder parent = m_fs.open(parentOf(item.originalPath), device, ec);
    if (isMissing(ec))
        return make_error_code(RemovalError::PlaceGone);
    if (ec)
        return ec;
    m_fs.moveEntry(trash.files.get(), item.name, parent.get(), lastNameOf(item.originalPath), ec);
    if (ec)
        return ec; // file_exists: the name was taken meanwhile
    m_fs.removeEntry(trash.info.get(), infoName(item.name), false, ec);
    std::erase_if(trash.added, [&item](const DirectorySize& size) { return size.name == item.name; });
    trash.dropped.push_back(item.name);
    return {};
}

void TrashCan::finish() {
    for (auto& [path, trash] : m_trashes) {
        if (trash->added.empty() && trash->dropped.empty())
            continue;
        std::error_code ec;
        const std::string existing =
            m_fs.readTextFile(trash->folder.get(), "directorysizes", kLargestDirectorySizes, ec);
        m_fs.replaceFile(trash->folder.get(), "directorysizes",
                         updatedDirectorySizes(ec ? std::string() : existing, trash->added, trash->dropped), ec);
        trash->added.clear();
        trash->dropped.clear();
    }
}

} // namespace cleaner
