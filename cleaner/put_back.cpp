// SPDX-License-Identifier: GPL-3.0-or-later
#include "put_back.h"

#include "deletion_log.h"
#include "folder_remover.h"
#include "removal_outcome.h"

#include <algorithm>

namespace cleaner {

PutBackRun::PutBackRun(FolderList& List1, DeletionLog& List2, DeletedFolders& deleted, TrashedDeletion deletion)
    : m_list(List1), m_log(List2), m_deleted(deleted), m_items(std::move(deletion.items)),
      m_entries(std::move(deletion.entries)), m_listGeneration(deletion.listGeneration) {
    // Newest first: a folder moved after one beneath it was (by a later
    // Delete, or later in the same one) must stand again before that one
    // can go back into it.
    std::reverse(m_items.begin(), m_items.end());
    m_entries.resize(m_items.size());
    std::reverse(m_entries.begin(), m_entries.end());
}

TrashedDeletion PutBackRun::rest() const {
    TrashedDeletion rest;
    rest.listGeneration = m_listGeneration;
    // Back to the order they went in: m_items runs newest first.
    for (std::size_t i = m_items.size(); i > m_next; --i) {
        rest.items.push_back(m_items[i - 1]);
        rest.entries.push_back(m_entries[i - 1]);
    }
    return rest;
}

std::size_t PutBackRun::finish(std::span<const std::error_code> outcomes) {
    std::vector<LogLine> lines;
    std::vector<FolderList::EntryKey> returning;
    const bool sameList = m_list.generation() == m_listGeneration;
    std::size_t applied = 0;
    for (const std::error_code& outcome : outcomes) {
        if (m_next == m_items.size())
            break;
        const TrashedItem& item = m_items[m_next];
        const std::vector<FolderList::EntryKey>& entries = m_entries[m_next];
        ++m_next;
        ++applied;
        lines.push_back(LogLine{putBackLogLine(item.listedPath, outcome), item.listedPath.size(), !outcome});
        if (outcome) {
            ++m_notPutBack;
            continue;
        }
        ++m_putBack;
        if (!sameList) {
            m_listIsBehind = true;
            continue;
        }
        returning.insert(returning.end(), entries.begin(), entries.end());
        // Gone no more: should it vanish now, it was not we who deleted it.
        for (const FolderList::EntryKey& entry : entries)
            m_deleted.remove(std::string(m_list.textOf(entry)));
    }
    m_entriesReturned += returning.size();
    m_list.Restore(std::move(returning));
    m_log.AddItems(lines);
    return applied;
}

} // namespace cleaner
