// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cleaner/file_system.h"

#include <atomic>
#include <functional>
#include <string>

namespace testing_support {

// Passes everything to another file system and calls a hook before every
// opened, examined, moved or removed entry, so a test can step in at a known
// point: ask a scan to stop, slow it down, change the tree in the middle of
// a deletion, or make the step fail by returning an error. Threads may
// share it as long as the hook is safe for that.
class HookedFileSystem final : public cleaner::FileSystem {
public:
    enum class Operation { Open, Examine, Remove, Move, Write };
    // `name` is the path for opening a folder by path, else the entry's name
    // (for Move, the name it leaves).
    using Hook = std::function<std::error_code(Operation, const std::string& name)>;

    HookedFileSystem(cleaner::FileSystem& inner, Hook hook) : m_inner(inner), m_hook(std::move(hook)) {}

    std::atomic<int> examined = 0;
    std::atomic<int> removed = 0;
    std::atomic<int> lookedUp = 0; // paths looked up or files read by path
    std::atomic<int> calls = 0;    // of any kind

    bool isFolder(const std::string& path) override {
        ++calls;
        return m_inner.isFolder(path);
    }
    cleaner::FolderHandle openFolder(const std::string& path, std::uint64_t& device,
                                     std::error_code& ec) override {
        ++calls;
        if ((ec = m_hook(Operation::Open, path)))
            return -1;
        return m_inner.openFolder(path, device, ec);
    }
    cleaner::FolderHandle openSubFolder(cleaner::FolderHandle parent, const std::string& name,
                                        std::error_code& ec) override {
        ++calls;
        if ((ec = m_hook(Operation::Open, name)))
            return -1;
        return m_inner.openSubFolder(parent, name, ec);
    }
    void readEntries(cleaner::FolderHandle folder, std::vector<cleaner::DirEntry>& out, std::error_code& ec,
                     std::stop_token stop) override {
        ++calls;
        m_inner.readEntries(folder, out, ec, stop);
    }
    cleaner::EntryStatus examine(cleaner::FolderHandle parent, const std::string& name,
                                 std::error_code& ec) override {
        ++calls;
        ++examined;
        if ((ec = m_hook(Operation::Examine, name)))
            return {};
        return m_inner.examine(parent, name, ec);
    }
    void closeFolder(cleaner::FolderHandle folder) noexcept override { m_inner.closeFolder(folder); }
    cleaner::EntryStatus folderStatus(cleaner::FolderHandle folder, std::error_code& ec) override {
        ++calls;
        return m_inner.folderStatus(folder, ec);
    }
    void removeEntry(cleaner::FolderHandle parent, const std::string& name, bool folder,
                     std::error_code& ec) override {
        ++calls;
        ++removed;
        if ((ec = m_hook(Operation::Remove, name)))
            return;
        m_inner.removeEntry(parent, name, folder, ec);
    }
    void makePrivateFolder(cleaner::FolderHandle parent, const std::string& name,
                           std::error_code& ec) override {
        ++calls;
        m_inner.makePrivateFolder(parent, name, ec);
    }
    void moveEntry(cleaner::FolderHandle from, const std::string& fromName, cleaner::FolderHandle to,
                   const std::string& toName, std::error_code& ec) override {
        ++calls;
        if ((ec = m_hook(Operation::Move, fromName)))
            return;
        m_inner.moveEntry(from, fromName, to, toName, ec);
    }
    void writeNewFile(cleaner::FolderHandle folder, const std::string& name, const std::string& text,
                      std::error_code& ec) override {
        ++calls;
        if ((ec = m_hook(Operation::Write, name)))
            return;
        m_inner.writeNewFile(folder, name, text, ec);
    }
    void replaceFile(cleaner::FolderHandle folder, const std::string& name, const std::string& text,
                     std::error_code& ec) override {
        ++calls;
        if ((ec = m_hook(Operation::Write, name)))
            return;
        m_inner.replaceFile(folder, name, text, ec);
    }
    cleaner::EntryStatus lookUp(cleaner::FolderHandle from, const std::string& path, bool followLast,
                                std::error_code& ec) override {
        ++calls;
        ++lookedUp;
        return m_inner.lookUp(from, path, followLast, ec);
    }
    std::string readTextFile(cleaner::FolderHandle from, const std::string& path, std::size_t limit,
                             std::error_code& ec) override {
        ++calls;
        ++lookedUp;
        return m_inner.readTextFile(from, path, limit, ec);
    }
    std::string canonicalPath(const std::string& path, std::error_code& ec) override {
        ++calls;
        return m_inner.canonicalPath(path, ec);
    }
    bool listedFoldersAreReal(cleaner::FolderHandle top, const std::string& path) override {
        ++calls;
        return m_inner.listedFoldersAreReal(top, path);
    }

private:
    cleaner::FileSystem& m_inner;
    Hook m_hook;
};

} // namespace testing_support
