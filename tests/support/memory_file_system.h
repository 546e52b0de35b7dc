// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/file_system.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace testing_support {

// A file system held in memory, for tests: any folder can be made to fail,
// whoever runs the tests (permission bits don't stop root on a real disk).
//
// Paths are absolute and "/"-separated; "/" always exists. Entries are listed
// in the order they were added, so callers can't rely on a sorted listing.
// Every call takes one lock, so threads may share an instance.
class MemoryFileSystem final : public cleaner::FileSystem {
public:
    enum class Step : std::uint8_t { Open, List, Examine, Remove };

    MemoryFileSystem();
    ~MemoryFileSystem() override;

    // Building the tree; missing parent folders are created on the way.
    void addFolder(const std::string& path);
    void addFile(const std::string& path, std::uint64_t size = 0);
    // A regular file holding `text`, for the files that are read.
    void addTextFile(const std::string& path, const std::string& text);
    // A symbolic link, fifo, socket or device: something that is not a
    // folder and never counts as zero bytes.
    void addOther(const std::string& path);
    // A folder on another file system, which nothing can enter.
    void addMountPoint(const std::string& path);
    // The root folder of another file system that can be entered: it and
    // what is added beneath it lie on a device of their own.
    void addVolume(const std::string& path);
    // What a racing program might do between two steps of ours: swap two
    // entries in place (rename with RENAME_EXCHANGE), put a link where a
    // folder stood (the folder moves to `movedTo`), or mount something on an
    // existing folder.
    void exchange(const std::string& a, const std::string& b);
    void replaceWithLink(const std::string& path, const std::string& movedTo);
    void mountOn(const std::string& path);
    // Makes `step` fail with `reason` on the entry at `path` (Remove: when
    // that entry is removed).
    void failOn(const std::string& path, Step step, std::errc reason = std::errc::permission_denied);
    // Makes the listing of the folder holding `path` name its entry twice,
    // as a broken or network file system may.
    void listTwice(const std::string& path);
    // Lists every entry with an unknown type, as some file systems do.
    void reportUnknownTypes(bool unknown) { m_unknownTypes = unknown; }
    // Vouches, as a local disk's backend does, that what listings give as
    // folders are real folders wherever nothing is mounted beneath.
    void vouchForListings(bool vouch) { m_vouchForListings = vouch; }

    // True when something, of any kind, stands at `path`.
    bool exists(const std::string& path) const;
    // The size of the regular file at `path`; throws when there is none.
    std::uint64_t fileSize(const std::string& path) const;

    // How many handles are open now, and how many regular files have been
    // examined so far (the expensive part of a scan on a real disk).
    std::size_t openHandleCount() const;
    std::uint64_t examinedFileCount() const;
    // How many times the folder at `path` has been listed.
    unsigned listingCount(const std::string& path) const;

    bool isFolder(const std::string& path) override;
    cleaner::FolderHandle openFolder(const std::string& path, std::uint64_t& device,
                                     std::error_code& ec) override;
    cleaner::FolderHandle openSubFolder(cleaner::FolderHandle parent, const std::string& name,
                                        std::error_code& ec) override;
    void readEntries(cleaner::FolderHandle folder, std::vector<cleaner::DirEntry>& out, std::error_code& ec,
                     std::stop_token stop) override;
    cleaner::EntryStatus examine(cleaner::FolderHandle parent, const std::string& name,
                                 std::error_code& ec) override;
    void closeFolder(cleaner::FolderHandle folder) noexcept override;
    cleaner::EntryStatus folderStatus(cleaner::FolderHandle folder, std::error_code& ec) override;
    void removeEntry(cleaner::FolderHandle parent, const std::string& name, bool folder,
                     std::error_code& ec) override;
    void makePrivateFolder(cleaner::FolderHandle parent, const std::string& name,
                           std::error_code& ec) override;
    void moveEntry(cleaner::FolderHandle from, const std::string& fromName, cleaner::FolderHandle to,
                   const std::string& toName, std::error_code& ec) override;
    void writeNewFile(cleaner::FolderHandle folder, const std::string& name, const std::string& text,
                      std::error_code& ec) override;
    void replaceFile(cleaner::FolderHandle folder, const std::string& name, const std::string& text,
                     std::error_code& ec) override;
    // Nothing here is a link to follow: `followLast` changes nothing.
    cleaner::EntryStatus lookUp(cleaner::FolderHandle from, const std::string& path, bool followLast,
                                std::error_code& ec) override;
    std::string readTextFile(cleaner::FolderHandle from, const std::string& path, std::size_t limit,
                             std::error_code& ec) override;
    std::string canonicalPath(const std::string& path, std::error_code& ec) override;
    bool listedFoldersAreReal(cleaner::FolderHandle top, const std::string& path) override;

private:
    struct Node;

    Node* find(const std::string& path) const;
    Node* findFrom(Node* node, const std::string& path) const;
    Node* resolve(cleaner::FolderHandle from, const std::string& path, std::error_code& ec) const;
    cleaner::EntryStatus statusOf(const Node& node) const;
    // The folder holding `path`'s entry, and the entry's slot in it.
    std::unique_ptr<Node>& slot(const std::string& path);
    Node* create(const std::string& path, cleaner::EntryKind kind);
    Node* handleNode(cleaner::FolderHandle handle, std::error_code& ec) const;
    cleaner::FolderHandle track(Node* node);

    mutable std::mutex m_mutex;
    std::unique_ptr<Node> m_root;
    // Removed entries live on here, so that handles still open on them stay
    // valid, as descriptors of removed folders do on a real disk.
    std::vector<std::unique_ptr<Node>> m_removed;
    std::map<cleaner::FolderHandle, Node*> m_open;
    cleaner::FolderHandle m_nextHandle = 0;
    std::uint64_t m_nextInode = 2;
    std::uint64_t m_nextDevice = 3;
    std::uint64_t m_examinedFiles = 0;
    bool m_unknownTypes = false;
    bool m_vouchForListings = false;
};

} // namespace testing_support
