// SPDX-License-Identifier: GPL-3.0-or-later
#include "marking.h"

#include "deletion_log.h"
#include "file_system.h"
#include "folder_list.h"

namespace cleaner {

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

RemovalRequest MarkedEntryRemoval::requestAt(int position) const {
    return RemovalRequest{m_list.List(position)};
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

std::size_t MarkedEntryRemoval::finish(std::span<const RemovalOutcome> outcomes) {
    std::vector<std::string> lines;
    lines.reserve(outcomes.size());
    // Gone entries not yet taken out: [runStart, runStart + runLength).
    int runStart = 0;
    int runLength = 0;
    int position = m_position; // where the next marked entry is looked for
    const auto takeOutRun = [&] {
        m_list.RemoveItems(runStart, runLength);
        position -= runLength; // the entries after the run move down
        runLength = 0;
    };
    std::size_t applied = 0;
    for (const RemovalOutcome& outcome : outcomes) {
        while (position < m_list.ListCount() && !m_list.Selected(position))
            ++position;
        if (position >= m_list.ListCount())
            break;
        if (runLength > 0 && position != runStart + runLength)
            takeOutRun();
        lines.push_back(deletionLogLine(m_list.List(position), outcome));
        if (outcome.isDeleted())
            ++m_deleted;
        else
            ++m_notDeleted;
        if (outcome.leavesList()) {
            if (runLength == 0)
                runStart = position;
            ++runLength;
        } else {
            m_list.Selected(position, false);
        }
        ++position;
        ++applied;
    }
    if (runLength > 0)
        takeOutRun();
    m_position = position;
    m_log.AddItems(lines);
    return applied;
}

} // namespace cleaner
