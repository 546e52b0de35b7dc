// SPDX-License-Identifier: GPL-3.0-or-later
#include "marking.h"

#include "deletion_log.h"
#include "file_system.h"
#include "folder_list.h"

namespace cleaner {

namespace {

bool isAtOrBeneath(const std::string& path, const std::string& folder) {
    if (!path.starts_with(folder))
        return false;
    return path.size() == folder.size() || folder.ends_with('/') || path[folder.size()] == '/';
}

} // namespace

void ListBoxSelAll(FolderList& List1) {
    List1.SelectAll(true);
}

void ListBoxUnmarkAll(FolderList& List1) {
    List1.SelectAll(false);
}

void ListBoxRemSel(FolderList& List1, DeletionLog& List2, FileSystem& fileSystem,
                   const std::string& mainFolderPath, DeletedFolders& deleted) {
    MarkedEntryRemoval run(List1, List2);
    FolderRemover remover(fileSystem, mainFolderPath, deleted);
    while (const auto request = run.next())
        run.finish(remover.DeleteFolder(*request));
}

// The scan lists a folder's listed subfolders right after it, so the entry
// that follows tells whether the list holds anything beneath this one.
RemovalRequest MarkedEntryRemoval::requestAt(int position) const {
    RemovalRequest request{m_list.List(position), false};
    request.holdsListed =
        position + 1 < m_list.ListCount() && isAtOrBeneath(m_list.List(position + 1), request.path);
    return request;
}

std::vector<RemovalRequest> MarkedEntryRemoval::requests() const {
    std::vector<RemovalRequest> requests;
    requests.reserve(static_cast<std::size_t>(m_list.SelCount()));
    for (int position = m_position; position < m_list.ListCount(); ++position)
        if (m_list.Selected(position))
            requests.push_back(requestAt(position));
    return requests;
}

// Every entry before the current position is unmarked, and each handled
// entry either leaves the list or loses its mark, so the run ends once the
// last marked entry is handled, even when entries stay.
std::optional<RemovalRequest> MarkedEntryRemoval::next() {
    while (m_list.SelCount() != 0 && m_position < m_list.ListCount()) {
        if (m_list.Selected(m_position))
            return requestAt(m_position);
        ++m_position;
    }
    return std::nullopt;
}

void MarkedEntryRemoval::finish(const RemovalOutcome& outcome) {
    m_log.AddItem(deletionLogLine(m_list.List(m_position), outcome));
    if (outcome.isDeleted())
        ++m_deleted;
    else
        ++m_notDeleted;
    if (outcome.leavesList()) {
        m_list.RemoveItem(m_position); // the next entry moves into this position
    } else {
        m_list.Selected(m_position, false);
        ++m_position;
    }
}

} // namespace cleaner
