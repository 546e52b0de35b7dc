// SPDX-License-Identifier: GPL-3.0-or-later
#include "marking.h"

#include "deletion_log.h"
#include "file_system.h"
#include "folder_list.h"
#include "path.h"

#include <algorithm>

namespace cleaner {

void ListBoxSelAll(FolderList& List1) {
    List1.SelectAll(true);
}

void ListBoxUnmarkAll(FolderList& List1) {
    List1.SelectAll(false);
}

void ListBoxRemSel(FolderList& List1, DeletionLog& List2, FileSystem& fileSystem,
                   const std::string& mainFolderPath, DeletedFolders& deleted, TrashCan* trash) {
    MarkedEntryRemoval run(List1, List2);
    FolderRemover remover(fileSystem, mainFolderPath, deleted);
    if (trash)
        remover.moveToTrashCan(*trash);
    while (const auto request = run.next())
        run.finish(remover.DeleteFolder(*request));
    if (trash)
        trash->finish();
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
    std::vector<LogLine> lines;
    lines.reserve(outcomes.size());
    // Entries to take out, not yet taken: [runStart, runStart + runLength).
    int runStart = 0;
    int runLength = 0;
    int position = m_position; // where the next marked entry is looked for
    const auto takeOut = [&](int at) {
        if (runLength > 0 && at != runStart + runLength) {
            m_list.RemoveItems(runStart, runLength);
            position -= runLength; // the entries after the run move down
            at -= runLength;
            runLength = 0;
        }
        if (runLength == 0)
            runStart = at;
        ++runLength;
    };
    // Unmarked entries up to the next marked one; those beneath a folder
    // that was deleted went with it, and leave the list too. The list is
    // parent first, so they follow the deleted folder's own entry.
    // Entries that went to the Trash are noted before they leave, so that
    // they can come back with their folder.
    const auto wentToTrash = [&](int at) {
        if (m_deletedFolderTrashed && !m_wentToTrash.empty())
            m_wentToTrash.back().push_back(m_list.key(at));
    };
    const auto passUnmarked = [&] {
        while (position < m_list.ListCount() && !m_list.Selected(position)) {
            if (isBeneath(m_list.text(position), m_deletedFolder)) {
                wentToTrash(position);
                takeOut(position);
            } else {
                m_deletedFolder.clear();
            }
            ++position;
        }
    };
    std::size_t applied = 0;
    for (const RemovalOutcome& outcome : outcomes) {
        passUnmarked();
        if (position >= m_list.ListCount())
            break;
        const std::string_view path = m_list.text(position);
        if (m_holdWhereNoTrash && outcome.result == RemovalOutcome::Result::Failed &&
            outcome.reason == RemovalError::NoTrash) {
            ++m_waiting; // stays marked, for the question
            if (std::find(m_whyNoTrash.begin(), m_whyNoTrash.end(), outcome.keptBecause) == m_whyNoTrash.end())
                m_whyNoTrash.push_back(outcome.keptBecause);
            ++position;
            ++applied;
            continue;
        }
        lines.push_back(LogLine{deletionLogLine(std::string(path), outcome), path.size(), outcome.isDeleted()});
        m_foldersRemoved += outcome.foldersRemoved;
        if (outcome.isDeleted())
            ++m_deleted;
        else
            ++m_notDeleted;
        if (outcome.isDeleted() && outcome.movedToTrash && outcome.result == RemovalOutcome::Result::Deleted)
            ++m_movedToTrash;
        if (outcome.isDeleted() && !isBeneath(path, m_deletedFolder)) {
            m_deletedFolder = path;
            m_deletedFolderTrashed = outcome.movedToTrash && outcome.result == RemovalOutcome::Result::Deleted;
            if (m_deletedFolderTrashed)
                m_wentToTrash.emplace_back();
        }
        if (outcome.isDeleted())
            wentToTrash(position);
        if (outcome.leavesList())
            takeOut(position);
        else if (outcome.reason != RemovalError::Stopped) // one stopped midway is not done with
            m_list.Selected(position, false);
        ++position;
        ++applied;
    }
    passUnmarked();
    if (runLength > 0)
        m_list.RemoveItems(runStart, runLength);
    m_position = position - runLength;
    m_log.AddItems(lines);
    return applied;
}

} // namespace cleaner
