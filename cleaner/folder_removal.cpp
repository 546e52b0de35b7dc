// SPDX-License-Identifier: GPL-3.0-or-later
//
// Deleting a folder without ever deleting data.
//
// A folder is deleted in two passes. The first only reads: the folder must
// still be a real folder on its parent's file system, hold no files of its
// own, and hold nothing of non-zero size, no link and no special file at any
// depth; otherwise nothing is touched. The second removes the tree bottom-up,
// through open folder handles and never following a link: each regular file
// is looked at again right before it is unlinked and must still weigh zero
// bytes, anything else stops the run, and folders go with rmdir, which
// refuses a folder that is not empty. Whatever changes on disk between or
// during the passes, only zero-byte files and empty folders are removed.

#include "file_system.h"
#include "folder_summary.h"
#include "removal_outcome.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace cleaner {

std::string deletionLogLine(const std::string& path, const RemovalOutcome& outcome) {
    switch (outcome.result) {
    case RemovalOutcome::Result::Deleted:
    case RemovalOutcome::Result::AlreadyGone:
        return path + " has been deleted.";
    case RemovalOutcome::Result::NotEmpty:
        return path + " was not deleted: it is no longer empty.";
    case RemovalOutcome::Result::Failed:
        break;
    }
    return path + " could not be deleted: " + outcome.reason.message() + ".";
}

namespace {

using Result = RemovalOutcome::Result;

RemovalOutcome outcome(Result result, std::error_code reason = {}) {
    return RemovalOutcome{result, reason};
}

bool meansGone(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

// "/m/a/b" -> {"/m/a", "b"}, "a" -> {".", "a"}, "/a" -> {"/", "a"};
// trailing slashes are ignored. The name is empty when there is none.
std::pair<std::string, std::string> splitLastName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", std::string(path)};
    const std::string_view parent = slash == 0 ? std::string_view("/") : path.substr(0, slash);
    return {std::string(parent), std::string(path.substr(slash + 1))};
}

class FolderRemover {
public:
    explicit FolderRemover(FileSystem& fs) : m_fs(fs) {}

    RemovalOutcome remove(const std::string& path) {
        const auto [parentPath, name] = splitLastName(path);
        if (name.empty() || name == "." || name == "..")
            return outcome(Result::Failed, std::make_error_code(std::errc::invalid_argument));

        std::error_code ec;
        OpenFolder parent = m_fs.open(parentPath, m_device, ec);
        if (ec)
            return meansGone(ec) ? outcome(Result::AlreadyGone) : outcome(Result::Failed, ec);
        const EntryStatus status = m_fs.examine(parent.get(), name, ec);
        if (ec)
            return ec == std::errc::no_such_file_or_directory ? outcome(Result::AlreadyGone)
                                                              : outcome(Result::Failed, ec);
        if (status.kind != EntryKind::Folder || status.device != m_device || status.mountRoot)
            return outcome(Result::NotEmpty);

        // First pass: read only.
        OpenFolder folder = openRealFolder(parent.get(), name, ec);
        if (ec == std::errc::no_such_file_or_directory)
            return outcome(Result::AlreadyGone);
        if (ec == std::errc::too_many_symbolic_link_levels || ec == std::errc::not_a_directory ||
            ec == std::errc::device_or_resource_busy)
            return outcome(Result::NotEmpty); // swapped for a link, a file or a mount meanwhile
        if (ec)
            return outcome(Result::Failed, ec);
        const RemovalOutcome verdict = check(folder.get(), true);
        if (verdict.result != Result::Deleted)
            return verdict;
        folder.close();

        // Second pass: remove, bottom-up.
        folder = openRealFolder(parent.get(), name, ec);
        if (!ec)
            ec = removeContents(folder.get());
        folder.close();
        if (!ec)
            m_fs.removeEntry(parent.get(), name, true, ec);
        return ec ? outcome(Result::Failed, ec) : outcome(Result::Deleted);
    }

private:
    // Opens a subfolder and makes sure it lies on the same file system, so
    // that a mount appearing meanwhile is never entered.
    OpenFolder openRealFolder(FolderHandle parent, const std::string& name, std::error_code& ec) {
        OpenFolder folder = m_fs.openSub(parent, name, ec);
        if (ec)
            return folder;
        const EntryStatus status = m_fs.folderStatus(folder.get(), ec);
        if (!ec && (status.device != m_device || status.mountRoot))
            ec = std::make_error_code(std::errc::device_or_resource_busy);
        if (ec)
            folder.close();
        return folder;
    }

    // Deleted means "empty: may go".
    RemovalOutcome check(FolderHandle folder, bool isTop) {
        FolderSummary summary;
        std::string failedName;
        std::error_code ec =
            summariseFolder(m_fs, folder, m_device, SizeNeed::UntilNonZero, summary, m_scratch, failedName);
        if (ec)
            return outcome(Result::Failed, ec);
        if (isTop && summary.fileCount != 0)
            return outcome(Result::NotEmpty);
        if (summary.bytes != 0) {
            // When the one thing that weighed was an entry we could not look
            // at, we don't know that it holds data: that is a refusal.
            const bool onlyUnexamined = summary.unexaminedReason && summary.bytes == 1;
            return onlyUnexamined ? outcome(Result::Failed, summary.unexaminedReason)
                                  : outcome(Result::NotEmpty);
        }
        for (const std::string& name : summary.subFolders) {
            OpenFolder sub = openRealFolder(folder, name, ec);
            if (ec)
                return outcome(Result::Failed, ec);
            const RemovalOutcome verdict = check(sub.get(), false);
            if (verdict.result != Result::Deleted)
                return verdict;
        }
        return outcome(Result::Deleted);
    }

    // Removes zero-byte files and empty folders; stops at anything else.
    std::error_code removeContents(FolderHandle folder) {
        std::vector<DirEntry> entries;
        std::error_code ec;
        m_fs.readEntries(folder, entries, ec, {});
        if (ec)
            return ec;
        std::sort(entries.begin(), entries.end(),
                  [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
        for (const DirEntry& entry : entries) {
            const EntryStatus status = m_fs.examine(folder, entry.name, ec);
            if (ec == std::errc::no_such_file_or_directory)
                continue; // someone else removed it
            if (ec)
                return ec;
            if (status.kind == EntryKind::RegularFile) {
                if (status.size != 0)
                    return std::make_error_code(std::errc::directory_not_empty);
                m_fs.removeEntry(folder, entry.name, false, ec);
            } else if (status.kind == EntryKind::Folder) {
                OpenFolder sub = openRealFolder(folder, entry.name, ec);
                if (!ec)
                    ec = removeContents(sub.get());
                sub.close();
                if (!ec)
                    m_fs.removeEntry(folder, entry.name, true, ec);
            } else {
                return std::make_error_code(std::errc::directory_not_empty); // links, fifos, devices stay
            }
            if (ec && ec != std::errc::no_such_file_or_directory)
                return ec;
        }
        return {};
    }

    FileSystem& m_fs;
    std::uint64_t m_device = 0;
    std::vector<DirEntry> m_scratch;
};

} // namespace

RemovalOutcome FileSystem::DeleteFolder(const std::string& path) {
    return FolderRemover(*this).remove(path);
}

} // namespace cleaner
