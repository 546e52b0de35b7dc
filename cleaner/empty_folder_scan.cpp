// SPDX-License-Identifier: GPL-3.0-or-later
#include "empty_folder_scan.h"

#include "folder_list.h"
#include "path.h"

namespace cleaner {

EmptyFolderScan::EmptyFolderScan(FileSystem& fileSystem, std::string mainFolderPath)
    : mainFolderPath(std::move(mainFolderPath)), m_fs(fileSystem) {}

ScanOutcome EmptyFolderScan::run(const FoundFolders& found, std::stop_token stop) {
    m_outcome = ScanOutcome{};
    m_examined.store(0, std::memory_order_relaxed);
    m_path = mainFolderPath;
    m_frames.clear();
    m_pending.clear();
    m_liveCandidates = 0;

    std::error_code ec;
    OpenFolder mainFolder = m_fs.open(mainFolderPath, m_device, ec);
    if (ec) {
        fail(mainFolderPath, ec);
    } else {
        // The main folder itself is never listed: only its subfolders matter.
        ec = summariseFolder(m_fs, mainFolder.get(), m_device, SizeNeed::None, m_summary, m_scratch,
                             m_failedName, stop);
        m_examined.fetch_add(1, std::memory_order_relaxed);
        if (ec)
            fail(m_failedName.empty() ? m_path : joinPath(m_path, m_failedName), ec);
        else
            ShowSubFolders(mainFolder.get(), std::move(m_summary.subFolders), found, stop);
    }
    m_frames.clear();
    m_pending.clear();
    m_outcome.foldersExamined = foldersExamined();
    return m_outcome;
}

// Walks the tree of each subfolder of the main folder in turn. Nothing in a
// subfolder's tree is handed out until the whole tree has been read: one
// unreadable folder anywhere in it means none of it is listed.
bool EmptyFolderScan::ShowSubFolders(FolderHandle mainFolder, std::vector<std::string> names,
                                     const FoundFolders& found, std::stop_token stop) {
    for (const std::string& name : names) {
        if (!enter(mainFolder, name, stop))
            return false;
        while (!m_frames.empty()) {
            if (stop.stop_requested())
                return fail(m_path, std::make_error_code(std::errc::operation_canceled));
            Frame& folder = currentFolder();
            if (folder.next == folder.subFolders.size()) {
                leave();
                continue;
            }
            const std::string subFolder = std::move(folder.subFolders[folder.next++]);
            if (!enter(folder.folder.get(), subFolder, stop))
                return false;
        }
        flush(found);
    }
    return true;
}

bool EmptyFolderScan::enter(FolderHandle parent, const std::string& name, std::stop_token stop) {
    const std::size_t parentPathLength = m_path.size();
    appendName(m_path, name);

    std::error_code ec;
    OpenFolder folder = m_fs.openSub(parent, name, ec);
    if (ec)
        return fail(m_path, ec);
    // Sizes matter only while a folder above could still be listed; this
    // folder itself can only be listed if it holds no files to measure.
    const SizeNeed need = m_liveCandidates > 0 ? SizeNeed::UntilNonZero : SizeNeed::None;
    ec = summariseFolder(m_fs, folder.get(), m_device, need, m_summary, m_scratch, m_failedName, stop);
    if (ec)
        return fail(m_failedName.empty() ? m_path : joinPath(m_path, m_failedName), ec);
    m_examined.fetch_add(1, std::memory_order_relaxed);

    Frame& frame = m_frames.emplace_back();
    frame.folder = std::move(folder);
    frame.subFolders = std::move(m_summary.subFolders);
    frame.parentPathLength = parentPathLength;
    frame.holdsNoFiles = m_summary.fileCount == 0;
    if (m_summary.bytes != 0) {
        markTreeNonZero();
    } else if (frame.holdsNoFiles) {
        frame.pendingIndex = m_pending.size();
        m_pending.push_back(Pending{m_path, false});
        ++m_liveCandidates;
    }
    return true;
}

void EmptyFolderScan::leave() {
    Frame& folder = currentFolder();
    if (folder.holdsNoFiles) {
        if (folder.nonZero)
            reject(folder.pendingIndex);
        else
            --m_liveCandidates; // decided: it stays listed
    }
    m_path.resize(folder.parentPathLength);
    m_frames.pop_back();
}

// Something of non-zero size was found in the current folder: no folder on
// the way up to it can be listed any more.
void EmptyFolderScan::markTreeNonZero() {
    for (auto it = m_frames.rbegin(); it != m_frames.rend() && m_liveCandidates > 0; ++it) {
        if (it->nonZero)
            break; // everything above learned it already
        it->nonZero = true;
        if (it->holdsNoFiles)
            --m_liveCandidates;
    }
}

// Drops a pending entry. Entries after it belong to its subfolders and may
// still be listed, so a rejected entry in the middle is only marked; the
// tail is trimmed so rejected entries never pile up at the end.
void EmptyFolderScan::reject(std::size_t pendingIndex) {
    Pending& entry = m_pending[pendingIndex];
    entry.rejected = true;
    std::string().swap(entry.path);
    while (!m_pending.empty() && m_pending.back().rejected)
        m_pending.pop_back();
}

void EmptyFolderScan::flush(const FoundFolders& found) {
    std::vector<std::string> batch;
    batch.reserve(m_pending.size());
    for (Pending& entry : m_pending)
        if (!entry.rejected)
            batch.push_back(std::move(entry.path));
    m_pending.clear();
    m_outcome.foldersListed += batch.size();
    if (!batch.empty() && found)
        found(std::move(batch));
}

bool EmptyFolderScan::fail(std::string at, std::error_code reason) {
    if (reason == std::errc::operation_canceled) {
        m_outcome.status = ScanOutcome::Status::Cancelled;
    } else {
        m_outcome.status = ScanOutcome::Status::Stopped;
        m_outcome.stoppedAt = std::move(at);
        m_outcome.reason = reason;
    }
    return false;
}

ScanOutcome scanInto(FileSystem& fileSystem, const std::string& mainFolderPath, FolderList& list,
                     std::stop_token stop) {
    list.Clear();
    EmptyFolderScan scan(fileSystem, mainFolderPath);
    return scan.run([&list](std::vector<std::string>&& batch) { list.AddItems(std::move(batch)); }, stop);
}

} // namespace cleaner
